#include "support/notify_socket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace talvix::test {

NotifySocket::NotifySocket(std::string path) : path_(std::move(path)) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path_.size() >= sizeof address.sun_path) throw std::runtime_error("socket path too long: " + path_);
  std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
  fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      pipe2(stopPipe_, O_CLOEXEC) != 0)
    throw std::runtime_error("notify socket " + path_ + ": " + std::strerror(errno));
  reader_ = std::thread([this] { read(); });
}

NotifySocket::~NotifySocket() {
  (void)!::write(stopPipe_[1], "x", 1);
  if (reader_.joinable()) reader_.join();
  close(fd_);
  close(stopPipe_[0]);
  close(stopPipe_[1]);
  unlink(path_.c_str());
}

void NotifySocket::read() {
  pollfd fds[2] = {{fd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
  char buffer[4096];
  for (;;) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
    if (got < 0) continue;
    const std::lock_guard lock(mutex_);
    messages_.push_back({std::string(buffer, static_cast<std::size_t>(got)), std::chrono::steady_clock::now()});
    changed_.notify_all();
  }
}

std::optional<std::size_t> NotifySocket::waitFor(const std::function<bool(const std::string&)>& match,
                                                 std::chrono::seconds limit, std::size_t from) {
  std::unique_lock lock(mutex_);
  std::optional<std::size_t> found;
  changed_.wait_for(lock, limit, [&] {
    for (std::size_t i = from; i < messages_.size(); ++i)
      if (match(messages_[i].text)) return (found = i).has_value();
    return false;
  });
  return found;
}

std::vector<Notification> NotifySocket::messages() const {
  const std::lock_guard lock(mutex_);
  return messages_;
}

std::optional<std::string> statusOf(const std::string& message) {
  const std::size_t at = message.rfind("STATUS=", 0) == 0 ? 0 : message.find("\nSTATUS=");
  if (at == std::string::npos) return std::nullopt;
  const std::size_t start = message.find('=', at) + 1;
  return message.substr(start, message.find('\n', start) - start);
}

}  // namespace talvix::test
