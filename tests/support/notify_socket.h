#pragma once
// The service manager's end of systemd's notification protocol, for a test that starts the host as
// systemd would: an AF_UNIX datagram socket the child is told of through NOTIFY_SOCKET, every
// message kept with the time it came. Every wait has a limit.
#include <chrono>
#include <condition_variable>
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
  // Bound at path (under a test's own folder: a socket path holds at most 107 bytes).
  explicit NotifySocket(std::string path);
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;
  ~NotifySocket();

  const std::string& path() const { return path_; }
  // Index of the first message from `from` on that matches; nullopt when the limit passes first.
  std::optional<std::size_t> waitFor(const std::function<bool(const std::string&)>& match, std::chrono::seconds limit,
                                     std::size_t from = 0);
  std::vector<Notification> messages() const;

 private:
  void read();

  std::string path_;
  int fd_ = -1;
  int stopPipe_[2] = {-1, -1};
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Notification> messages_;
  std::thread reader_;
};

// The text after "STATUS=" in a message, or nullopt.
std::optional<std::string> statusOf(const std::string& message);

}  // namespace talvix::test
