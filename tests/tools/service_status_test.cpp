// What the service manager is told, through a twin of it: the status each of the run's activities
// gives, a status sent once however often it repeats, the journal priority of the log's lines
// around a failed pass, and a watchdog that pings only while the run's progress count moves.
#include "tools/service_status.h"
#include "tools/watchdog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace talvix::tools {
namespace {

using namespace std::chrono_literals;

class RecordingManager : public ServiceManager {
 public:
  explicit RecordingManager(std::optional<std::chrono::microseconds> watchdog = {}) : watchdog_(watchdog) {}
  void notify(const std::string& assignments) override {
    const std::lock_guard lock(mutex_);
    sent_.push_back(assignments);
  }
  std::optional<std::chrono::microseconds> watchdogInterval() const override { return watchdog_; }
  std::vector<std::string> sent() const {
    const std::lock_guard lock(mutex_);
    return sent_;
  }

 private:
  std::optional<std::chrono::microseconds> watchdog_;
  mutable std::mutex mutex_;
  std::vector<std::string> sent_;
};

struct Step {
  Activity activity;
  long long value = 0;
  std::string text{};
};

TEST(ServiceStatusTest, EachActivityGivesTheStatusOfWhatTheRunDoesNow) {
  struct Row {
    std::vector<Step> steps;
    std::string start, contains;
  };
  const Row rows[] = {
      {{{Activity::WaitingForTurn, 12}}, "Waiting for another run's turn to end, 12 s so far; ", "no pass ended yet"},
      {{{Activity::PassStarted}, {Activity::PassEnded, 3}, {Activity::Resting, 2500}},
       "Resting until the database changes, at most 2.5 s; last pass ended ", ", 3 lines priced"},
      {{{Activity::PassStarted}, {Activity::PassEnded, 1}, {Activity::PassStarted}}, "Pricing: pass 2 started ",
       ", 1 line priced"},
      {{{Activity::PassStarted}, {Activity::PassFailed, 0, "lost"}, {Activity::Reconnecting, 30}},
       "Reconnecting in 30 s; the pass failed: lost", ""},
      {{{Activity::Reconnecting, 1}, {Activity::ReconnectFailed, 0, "refused"}}, "Reconnect failed: refused", ""},
  };
  for (const Row& row : rows) {
    RecordingManager manager;
    ServiceStatus status(manager);
    for (const Step& step : row.steps) status.activity(step.activity, step.value, step.text, ServiceStatus::Clock::now());
    const std::string last = manager.sent().back();
    EXPECT_EQ(last.rfind("STATUS=" + row.start, 0), 0u) << last;
    EXPECT_NE(last.find(row.contains), std::string::npos) << last;
  }
}

TEST(ServiceStatusTest, AStatusIsSentOnceAndTheLinesAroundAFailedPassAreErrorsAndWarnings) {
  RecordingManager manager;
  ServiceStatus status(manager);
  status.ready("\"Veikals\"");
  for (int i = 0; i < 3; ++i) status.activity(Activity::Resting, 500, {}, ServiceStatus::Clock::now());
  EXPECT_EQ(manager.sent().size(), 2u);
  EXPECT_EQ(manager.sent().front(), "READY=1\nSTATUS=Database \"Veikals\" open; the run starts");

  EXPECT_EQ(status.linePriority(), kPriorityInfo);
  status.activity(Activity::PassFailed, 0, "lost", ServiceStatus::Clock::now());
  EXPECT_EQ(status.linePriority(), kPriorityError);  // the failure's own line
  EXPECT_EQ(status.linePriority(), kPriorityWarning);  // the countdown
  status.activity(Activity::ReconnectFailed, 0, "refused", ServiceStatus::Clock::now());
  EXPECT_EQ(status.linePriority(), kPriorityError);
  status.activity(Activity::PassStarted, 0, {}, ServiceStatus::Clock::now());
  EXPECT_EQ(status.linePriority(), kPriorityInfo);
}

TEST(WatchdogTest, PingsWhileTheProgressCountMovesAndStopsWhenItStandsStill) {
  RecordingManager manager(20ms);
  std::atomic<bool> moving{true};
  std::atomic<std::uint64_t> count{0};
  {
    const Watchdog watchdog(manager, [&] { return moving ? ++count : count.load(); });
    std::this_thread::sleep_for(200ms);
    moving = false;
    std::this_thread::sleep_for(50ms);  // the look that saw the last move may still ping
    const std::size_t atStill = manager.sent().size();
    EXPECT_GE(atStill, 3u);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(manager.sent().size(), atStill) << "pinged a run that stood still";
  }
  RecordingManager unwatched;
  { const Watchdog watchdog(unwatched, [] { return 0; }); }
  EXPECT_TRUE(unwatched.sent().empty());
}

}  // namespace
}  // namespace talvix::tools
