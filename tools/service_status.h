#pragma once
// What `systemctl status` says the run does now: the run's activities (step/run_activity.h) made
// into one STATUS line each, sent only when it changes, with the last pass's end and the lines it
// priced kept in view. Also the journal priority of the progress log's next line: a failed pass
// and a failed reconnect are errors, the countdown and the reconnect between them warnings, and
// everything else ordinary progress.
#include "step/run_activity.h"
#include "tools/journal_priority.h"
#include "tools/service_manager.h"

#include <chrono>
#include <optional>
#include <string>

namespace talvix::tools {

class ServiceStatus {
 public:
  using Clock = std::chrono::system_clock;

  explicit ServiceStatus(ServiceManager& manager) : manager_(manager) {}

  // The database is open and the run starts: READY with its first status.
  void ready(const std::string& database);
  void activity(Activity activity, long long value, const std::string& text, Clock::time_point now);
  // The run is over, or will not start.
  void stopping(const std::string& why);
  void status(const std::string& text);

  // The priority of the progress log's line about to be printed (the failed reconnect's replaces
  // the countdown's).
  int linePriority();

 private:
  std::string lastPass() const;

  ServiceManager& manager_;
  std::string shown_;
  long long passes_ = 0;
  std::optional<Clock::time_point> lastEnd_;
  long long lastPriced_ = 0;
  std::string error_;          // the failed pass's reason, until a pass starts again
  bool errorLineNext_ = false;  // the failure's own line is next
  bool troubled_ = false;       // between a failed pass and the next pass's start
};

}  // namespace talvix::tools
