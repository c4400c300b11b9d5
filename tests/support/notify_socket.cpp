#include "support/notify_socket.h"

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
  if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    throw std::runtime_error("notify socket " + path_ + ": " + std::strerror(errno));
  reader_ = std::thread([this] {
    char buffer[4096];
    while (!ending_) {
      pollfd ready{fd_, POLLIN, 0};
      if (poll(&ready, 1, 50) <= 0) continue;
      const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
      const std::lock_guard lock(mutex_);
      if (got > 0) messages_.push_back({std::string(buffer, static_cast<std::size_t>(got)), std::chrono::steady_clock::now()});
    }
  });
}

NotifySocket::~NotifySocket() {
  ending_ = true;
  reader_.join();
  close(fd_);
  unlink(path_.c_str());
}

std::optional<std::size_t> NotifySocket::waitFor(const std::function<bool(const std::string&)>& match,
                                                 std::chrono::seconds limit, std::size_t from) const {
  for (const auto deadline = std::chrono::steady_clock::now() + limit;;) {
    const auto seen = messages();
    for (std::size_t i = from; i < seen.size(); ++i)
      if (match(seen[i].text)) return i;
    if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
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
