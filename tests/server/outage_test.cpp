// The server goes away in the middle of a continuous FIFO run and comes back 40 seconds later: the
// run reports the loss, counts down, fails one reconnect while the server is still down, then
// connects again and goes on as if nothing had happened.
#include "step/run_settings.h"
#include "server_run_fixture.h"

#include <thread>

namespace talvix::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kOutage = 40s;
constexpr int kCountdown = 30;

bool lostConnection(const std::string& text) {
  return text.find("Error reading data from the connection.") != std::string::npos ||
         text.find("Error writing data to the connection.") != std::string::npos;
}

TEST_F(ServerRunTest, AServerKilledInTheMiddleOfAContinuousRunIsWaitedForAndTheRunEndsAsWithoutTheFault) {
  const std::string reference = makeDemo("reference.fdb");
  const std::string faulty = makeDemo("faulty.fdb");
  // Two passes reach what any number of further passes keep; the third shows it.
  runToEnd(registryFor(reference, kOnlyWithoutCost), {"--passes", "3"}, 600s);
  const Costs expected = costs(reference);

  HostRun run(registryFor(faulty, kOnlyWithoutCost));
  const auto issues = run.waitForText(kIssuesHeading, 300s);
  ASSERT_TRUE(issues) << run.errors() << printable(run.texts());
  const auto middle = run.waitFor(
      [](const LogEntry& e) {
        const auto c = counter(e.text);
        return c && c->first >= c->second / 4;
      },
      300s, *issues);
  ASSERT_TRUE(middle) << printable(run.texts());
  server.kill();
  const Clock::time_point killed = Clock::now();

  const auto failed = run.waitFor([](const LogEntry& e) { return startsWith(e.text, kPassFailed); }, 60s, *middle);
  ASSERT_TRUE(failed) << printable(run.texts());
  std::this_thread::sleep_until(killed + kOutage);
  server.start();
  // The run is still counting down to its second reconnect: the database holds exactly what was
  // committed before the fault.
  const Costs committed = costs(faulty);
  ASSERT_FALSE(run.waitForText(kReconnected, 0s, *failed)) << "reconnected before the snapshot";

  ASSERT_NO_FATAL_FAILURE(recoverTwoPassesAndStop(run, *failed));
  const auto reconnected = run.waitForText(kReconnected, 0s, *failed);
  ASSERT_TRUE(reconnected);
  const std::vector<std::string> log = run.texts();
  EXPECT_EQ(log.back(), kStopped);

  // The log of the outage, write by write.
  const std::size_t f = *failed;
  EXPECT_TRUE(lostConnection(log[f])) << log[f];
  RecordProperty("failure", log[f]);
  std::size_t at = f + 1;
  auto expectNext = [&](const std::string& text) {
    ASSERT_LT(at, log.size());
    EXPECT_EQ(log[at], text) << "entry " << at;
    ++at;
  };
  auto expectRecovery = [&] {
    expectNext(kStartingOver);
    for (int n = kCountdown; n >= 1; --n) expectNext(countdownLine(n));
    expectNext(kReconnecting);
  };
  expectRecovery();
  // The server is still down at the first reconnect.
  ASSERT_LT(at, log.size());
  EXPECT_TRUE(startsWith(log[at], kCannotOpen) && log[at].size() > std::string(kCannotOpen).size()) << log[at];
  EXPECT_NE(log[at].find("127.0.0.1"), std::string::npos) << "Firebird's own text follows: " << log[at];
  RecordProperty("failed_reconnect", log[at]);
  // The next pass fails at once on the closed connection, and the recovery starts again.
  const auto failedAgain = run.waitFor([](const LogEntry& e) { return startsWith(e.text, kPassFailed); }, 0s, at);
  ASSERT_TRUE(failedAgain);
  RecordProperty("next_failure", log[*failedAgain]);
  at = *failedAgain + 1;
  expectRecovery();
  EXPECT_EQ(at, *reconnected);
  std::size_t cannotOpen = 0, failures = 0;
  for (std::size_t i = f; i < log.size(); ++i) {
    cannotOpen += startsWith(log[i], kCannotOpen);
    failures += startsWith(log[i], kPassFailed);
  }
  EXPECT_EQ(cannotOpen, 1u);
  EXPECT_EQ(failures, 2u);

  // Nothing committed before the fault changed, and the end is that of a run without it.
  const Costs final = costs(faulty);
  int issuesPricedBefore = 0, issueLines = 0;
  for (const auto& [key, cost] : committed) {
    issueLines += key.first == kIssueTable;
    if (!isPriced(cost)) continue;
    issuesPricedBefore += key.first == kIssueTable;
    EXPECT_EQ(final.at(key), cost) << key.first << " " << key.second;
  }
  RecordProperty("issue_lines_priced_before_the_fault", issuesPricedBefore);
  RecordProperty("issue_lines", issueLines);
  EXPECT_GT(issuesPricedBefore, 0) << "the fault came after some issues were priced";
  EXPECT_LT(issuesPricedBefore, issueLines) << "the fault came before the issues were done";
  EXPECT_TRUE(sameCosts(final, expected));
}

}  // namespace
}  // namespace talvix::test
