#pragma once
// The Firebird OO API as this layer uses it: the master interface, one status wrapper per call
// site, and unique owners for every handle. Only the data layer includes this header.
#include <firebird/Interface.h>

#include <memory>

namespace talvix::fb {

Firebird::IMaster* master();
Firebird::IUtil* util();

// Wraps an IStatus for one sequence of calls. check() is where Firebird's status becomes a DbError
// carrying Firebird's own formatted text; it is the only place that does so.
class Status : public Firebird::CheckStatusWrapper {
 public:
  Status();
  Status(const Status&) = delete;
  Status& operator=(const Status&) = delete;
  ~Status();

  bool failed() const;
  // Throws DbError when the last call failed, then clears the status.
  void check();
  // The formatted text of a failure, and clears it; for paths that must go on regardless.
  std::string take();

 private:
  explicit Status(Firebird::IStatus* status);
  Firebird::IStatus* status_;
};

// Disposable handles are released with release(): it frees what the server still holds when it
// can and always frees the client side, which is what a lost connection needs.
struct Releaser {
  template <typename T>
  void operator()(T* handle) const noexcept {
    if (handle) handle->release();
  }
};
template <typename T>
using Handle = std::unique_ptr<T, Releaser>;

struct Disposer {
  template <typename T>
  void operator()(T* handle) const noexcept {
    if (handle) handle->dispose();
  }
};
template <typename T>
using Disposable = std::unique_ptr<T, Disposer>;

}  // namespace talvix::fb
