// SIGTERM in the middle of a pass that assigns every cost anew: the line being written is finished
// and committed, the program ends with status 0, and a later run takes the work to the end that an
// uninterrupted run reaches.
#include "step/run_settings.h"
#include "server_run_fixture.h"

#include <algorithm>
#include <csignal>
#include <limits>

namespace talvix::test {
namespace {

using namespace std::chrono_literals;

TEST_F(ServerRunTest, SigtermInAModeTwoPassCommitsEveryWrittenLineAndALaterRunFinishesTheWork) {
  const std::string reference = makeDemo("reference.fdb");
  const std::string stopped = makeDemo("stopped.fdb");
  {
    HostRun run(registryFor(reference, kAllAnew));
    const auto status = run.waitExit(600s);
    ASSERT_TRUE(status) << printable(run.texts());
    ASSERT_EQ(*status, 0) << run.errors();
    ASSERT_EQ(run.texts().back(), kProcessDone);
  }
  const Costs expected = costs(reference);
  const Costs before = costs(stopped);

  HostRun run(registryFor(stopped, kAllAnew));
  const auto issues = run.waitForText(kIssuesHeading, 300s);
  ASSERT_TRUE(issues) << run.errors() << printable(run.texts());
  const auto middle = run.waitFor(
      [](const LogEntry& e) {
        const auto c = counter(e.text);
        return c && c->first >= c->second / 3;
      },
      300s, *issues);
  ASSERT_TRUE(middle) << printable(run.texts());
  run.signal(SIGTERM);
  const auto status = run.waitExit(60s);
  ASSERT_TRUE(status) << "did not stop on SIGTERM\n" << printable(run.texts());
  EXPECT_EQ(*status, 0) << run.errors();
  const std::vector<std::string> log = run.texts();
  ASSERT_EQ(log.back(), kStopped) << printable(log);
  for (const std::string& text : log) EXPECT_FALSE(startsWith(text, kPassFailed)) << text;

  // The run prices in date order: the days before the stop hold the uninterrupted run's costs, the
  // days after it hold 0 (reset, not reached) or, for lines no reset touches, what they held before.
  const Costs atStop = costs(stopped);
  int lastDone = std::numeric_limits<int>::min(), firstUndone = std::numeric_limits<int>::max();
  for (const auto& [key, day] : lineDays(stopped)) {
    const std::optional<double> cost = atStop.at(key), wanted = expected.at(key), held = before.at(key);
    if (cost == wanted && wanted != held && wanted != 0.0) lastDone = std::max(lastDone, day);
    if (cost == wanted) continue;
    firstUndone = std::min(firstUndone, day);
    EXPECT_TRUE(cost == 0.0 || cost == held) << key.first << " " << key.second;
  }
  ASSERT_NE(lastDone, std::numeric_limits<int>::min()) << "nothing written before the stop";
  ASSERT_NE(firstUndone, std::numeric_limits<int>::max()) << "the stop came after the last line";
  EXPECT_LE(lastDone, firstUndone);
  RecordProperty("last_day_written_before_the_stop", lastDone);

  // A run that prices what is still without cost ends where the uninterrupted run ended.
  runToEnd(registryFor(stopped, kOnlyWithoutCost), {"--passes", "1"}, 600s);
  EXPECT_TRUE(sameCosts(costs(stopped), expected));
}

}  // namespace
}  // namespace talvix::test
