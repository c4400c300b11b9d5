#pragma once
// The host's line to the service manager that started it: systemd's notification protocol (READY,
// STATUS, WATCHDOG) behind a narrow interface, so what the host tells it is tested without systemd.
#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace talvix::tools {

class ServiceManager {
 public:
  virtual ~ServiceManager() = default;
  // One message of newline-separated assignments ("READY=1", "STATUS=...", "WATCHDOG=1"). Called
  // from the run's thread and the watchdog's; without a manager listening it does nothing.
  virtual void notify(const std::string& assignments) = 0;
  // How often the manager wants a watchdog ping; nullopt when it watches nothing.
  virtual std::optional<std::chrono::microseconds> watchdogInterval() const = 0;
};

// systemd through libsystemd (NOTIFY_SOCKET, WATCHDOG_USEC, WATCHDOG_PID).
std::unique_ptr<ServiceManager> systemdManager();

}  // namespace talvix::tools
