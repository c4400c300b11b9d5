// What the service manager is told, through a twin of it: what the real host's tests cannot reach
// on an embedded database (a wait for another run's turn, a failed reconnect), a status sent once
// however often it repeats, and a watchdog that pings only while the run's progress count moves;
// the journal priorities of the progress log's lines.
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

TEST(ServiceStatusTest, TurnWaitsAndAFailedReconnectAreShownAndAStatusIsSentOnce) {
  RecordingManager manager;
  ServiceStatus status(manager);
  const auto now = ServiceStatus::Clock::now();
  for (int i = 0; i < 3; ++i) status.activity(Activity::WaitingForTurn, 12, {}, now);
  EXPECT_EQ(manager.sent(),
            std::vector<std::string>{"STATUS=Waiting for another run's turn to end, 12 s so far; no pass ended yet"});
  status.activity(Activity::PassFailed, 0, "lost", now);
  EXPECT_EQ(status.linePriority(), kPriorityError);  // the failure's own line
  EXPECT_EQ(status.linePriority(), kPriorityWarning);
  status.activity(Activity::ReconnectFailed, 0, "refused", now);
  EXPECT_EQ(manager.sent().back(), "STATUS=Reconnect failed: refused; trying again");
  EXPECT_EQ(status.linePriority(), kPriorityError);
}

// After a failed pass and a reconnect, the next pass's lines are ordinary progress again.
TEST(ServiceStatusTest, APassAfterAFailedOneIsInfoAgain) {
  RecordingManager manager;
  ServiceStatus status(manager);
  const auto now = ServiceStatus::Clock::now();
  status.activity(Activity::PassStarted, 0, {}, now);
  EXPECT_EQ(status.linePriority(), kPriorityInfo);
  status.activity(Activity::PassFailed, 0, "lost", now);
  EXPECT_EQ(status.linePriority(), kPriorityError);
  status.activity(Activity::Reconnecting, 30, {}, now);
  EXPECT_EQ(status.linePriority(), kPriorityWarning);
  status.activity(Activity::Reconnected, 0, {}, now);
  EXPECT_EQ(status.linePriority(), kPriorityWarning);
  for (int pass = 0; pass < 2; ++pass) {
    status.activity(Activity::PassStarted, 0, {}, now);
    EXPECT_EQ(status.linePriority(), kPriorityInfo) << "pass " << pass;
    status.activity(Activity::PassEnded, 3, {}, now);
    EXPECT_EQ(status.linePriority(), kPriorityInfo) << "pass " << pass;
  }
}

// The journal takes "<N>" at the start of each line; a text's final newline starts no line.
TEST(JournalPriorityTest, EachLineOfATextGetsThePrefixAndNothingElse) {
  const struct {
    const char* text;
    const char* journal;
  } rows[] = {
      {"one line", "<6>one line"},
      {"one line\n", "<6>one line\n"},
      {"two\nlines\n", "<6>two\n<6>lines\n"},
      {"a blank\n\nbetween", "<6>a blank\n<6>\n<6>between"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(withPriority(row.text, kPriorityInfo, true), row.journal) << row.text;
    EXPECT_EQ(withPriority(row.text, kPriorityInfo, false), row.text) << "not to the journal";
  }
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
  {
    const Watchdog watchdog(unwatched, [] { return 0; });
  }
  EXPECT_TRUE(unwatched.sent().empty());
}

}  // namespace
}  // namespace talvix::tools
