#include "tools/service_manager.h"

#include <systemd/sd-daemon.h>

#include <cstdint>

namespace talvix::tools {
namespace {

class SystemdManager : public ServiceManager {
 public:
  void notify(const std::string& assignments) override { sd_notify(0, assignments.c_str()); }

  std::optional<std::chrono::microseconds> watchdogInterval() const override {
    std::uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0) return std::nullopt;
    return std::chrono::microseconds(usec);
  }
};

}  // namespace

std::unique_ptr<ServiceManager> systemdManager() { return std::make_unique<SystemdManager>(); }

}  // namespace talvix::tools
