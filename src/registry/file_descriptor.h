#pragma once
// One owner for a POSIX file descriptor and the one loop that writes a buffer whole: the
// registry file and every report the tool writes go through them. Free of Qt and of Firebird.
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <utility>

namespace talvix {

// Closes the descriptor when it goes out of scope; release() hands it over.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// Writes all of bytes, through interruptions and short writes; false leaves the cause in errno.
inline bool writeWhole(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t step = ::write(fd, bytes.data(), bytes.size());
    if (step < 0 && errno == EINTR) continue;
    if (step <= 0) {
      if (step == 0) errno = EIO;  // a write that takes nothing would loop for ever
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(step));
  }
  return true;
}

}  // namespace talvix
