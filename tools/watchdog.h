#pragma once
// Pings the service manager's watchdog while the run makes progress, from a thread of its own: the
// run's thread may sit in one long database read, which is progress, but cannot ping meanwhile.
// Every quarter of the interval it looks at the run's progress count and pings only when it moved
// since its last look, so a run that hangs (the count stands still) goes unpinged and the manager
// kills and restarts it.
#include "tools/service_manager.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace talvix::tools {

class Watchdog {
 public:
  // Nothing runs when the manager watches nothing.
  Watchdog(ServiceManager& manager, std::function<std::uint64_t()> progress);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  void watch(std::chrono::microseconds look);

  ServiceManager& manager_;
  std::function<std::uint64_t()> progress_;
  std::mutex mutex_;
  std::condition_variable ended_;
  bool ending_ = false;
  std::thread thread_;
};

}  // namespace talvix::tools
