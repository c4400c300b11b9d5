#pragma once
// The service manager's end of systemd's notification protocol, for a test that starts the host as
// systemd would: a datagram socket the child is told of through NOTIFY_SOCKET, every message kept
// with the time it came.
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace talvix::test {

struct Notification {
  std::string text;  // newline-separated assignments, as sent
  std::chrono::steady_clock::time_point seen;
};

class NotifySocket {
 public:
  explicit NotifySocket(std::string path);  // at most 107 bytes
  ~NotifySocket();
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;

  const std::string& path() const { return path_; }
  // Index of the first message from `from` on that matches; nullopt when the limit passes first.
  std::optional<std::size_t> waitFor(const std::function<bool(const std::string&)>& match, std::chrono::seconds limit,
                                     std::size_t from = 0) const;
  std::vector<Notification> messages() const;

 private:
  std::string path_;
  int fd_ = -1;
  std::atomic<bool> ending_{false};
  mutable std::mutex mutex_;
  std::vector<Notification> messages_;
  std::thread reader_;
};

// The text after "STATUS=" in a message, or nullopt.
std::optional<std::string> statusOf(const std::string& message);

}  // namespace talvix::test
