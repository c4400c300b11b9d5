#include "tools/watchdog.h"

#include <utility>

namespace talvix::tools {

Watchdog::Watchdog(ServiceManager& manager, std::function<std::uint64_t()> progress)
    : manager_(manager), progress_(std::move(progress)) {
  const auto interval = manager_.watchdogInterval();
  if (!interval) return;
  // The first ping comes at once: the run was started and is at work.
  manager_.notify("WATCHDOG=1");
  thread_ = std::thread([this, look = *interval / 4] { watch(look); });
}

Watchdog::~Watchdog() {
  {
    const std::lock_guard lock(mutex_);
    ending_ = true;
  }
  ended_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void Watchdog::watch(std::chrono::microseconds look) {
  std::uint64_t seen = progress_();
  std::unique_lock lock(mutex_);
  while (!ended_.wait_for(lock, look, [this] { return ending_; })) {
    const std::uint64_t now = progress_();
    if (now == seen) continue;
    seen = now;
    manager_.notify("WATCHDOG=1");
  }
}

}  // namespace talvix::tools
