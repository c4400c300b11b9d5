// Another program holds a lock on an issue line that a continuous FIFO run must price: the pass
// fails once the lock wait runs out, the run recovers, and the line is priced once the lock is gone.
#include "data/connection.h"
#include "data/query.h"
#include "data/transaction.h"
#include "step/run_settings.h"
#include "server_run_fixture.h"


namespace talvix::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kLockWait = std::chrono::seconds(Transaction::kDefaultLockTimeoutSeconds);

TEST_F(ServerRunTest, ALineLockedElsewhereFailsThePassAfterTheLockWaitAndIsPricedOnceReleased) {
  const std::string reference = makeDemo("reference.fdb");
  const std::string locked = makeDemo("locked.fdb");
  runToEnd(registryFor(reference, kOnlyWithoutCost), {"--passes", "3"}, 600s);
  const Costs expected = costs(reference);

  // A line halfway through the issue step that a run without the lock gives a cost.
  const auto order = issuesInRunOrder(reference);
  int line = 0;
  for (std::size_t i = order.size() / 2; i < order.size() && !line; ++i)
    if (isPriced(expected.at({kIssueTable, order[i].isn}))) line = order[i].isn;
  ASSERT_NE(line, 0);

  Connection holder;
  holder.setDatabaseName(locked);
  holder.open();
  Query hold(holder);
  hold.setSql("UPDATE O_PRCOUT SET IEP_CENA = IEP_CENA WHERE ISN = " + std::to_string(line));
  hold.execSql();  // not committed: the row stays locked

  HostRun run(registryFor(locked, kOnlyWithoutCost));
  const auto failed = run.waitFor([](const LogEntry& e) { return startsWith(e.text, kPassFailed); },
                                  kLockWait + 300s);
  ASSERT_TRUE(failed) << printable(run.texts());
  // Firebird's text comes in several lines; the entry is whole once its last one has been read.
  const auto conflict = run.waitFor(
      [](const LogEntry& e) { return e.text.find("update conflicts with concurrent update") != std::string::npos; },
      30s, *failed);
  std::vector<LogEntry> log = run.log();
  EXPECT_EQ(conflict, failed) << log[*failed].text;
  RecordProperty("failure", log[*failed].text);
  // The row counter of the locked line stood on screen for the whole lock wait.
  ASSERT_GT(*failed, 0u);
  EXPECT_TRUE(counter(log[*failed - 1].text)) << log[*failed - 1].text;
  const auto waited = log[*failed].seen - log[*failed - 1].seen;
  // Firebird counts the wait in whole seconds; the test reads both lines as they come.
  EXPECT_GE(waited, kLockWait - 5s);
  EXPECT_LE(waited, kLockWait + 30s) << "the wait is bounded by the lock timeout";
  RecordProperty("lock_wait_ms",
                 static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count()));

  holder.defaultTransaction().deactivate();
  holder.close();

  ASSERT_NO_FATAL_FAILURE(recoverTwoPassesAndStop(run, *failed));

  log = run.log();
  EXPECT_EQ(log.back().text, kStopped);
  int failures = 0;
  for (const LogEntry& entry : log) failures += startsWith(entry.text, kPassFailed);
  EXPECT_EQ(failures, 1) << "only the pass that met the lock failed";
  const Costs final = costs(locked);
  EXPECT_EQ(final.at({kIssueTable, line}), expected.at({kIssueTable, line}));
  EXPECT_TRUE(sameCosts(final, expected));
}

}  // namespace
}  // namespace talvix::test
