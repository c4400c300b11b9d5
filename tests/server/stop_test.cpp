// The server killed in the middle of a pass that assigns every cost anew, on a history the pass
// changes: while the run counts down to its reconnect every line holds the cost it held before the
// run (nothing of a pass is durable before its end), and the run, once reconnected, ends where an
// uninterrupted run ends.
#include "data/query.h"
#include "server_run_fixture.h"
#include "step/run_settings.h"

#include <thread>

namespace talvix::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kOutage = 5s;

// Every receipt repriced: a pass that prices every line anew changes many costs.
void repriceReceipts(const std::string& connection) {
  Connection db;
  db.setDatabaseName(connection);
  db.open();
  db.executeImmediate("UPDATE O_PRECE SET CENA = CENA * 1.25 + 0.01");
  db.defaultTransaction().commit();
  db.close();
}

TEST_F(ServerRunTest, AServerKilledInAModeTwoPassLeavesEveryCostAsItWasAndTheReconnectedRunFinishes) {
  const std::string reference = makeDemo("reference.fdb");
  const std::string faulty = makeDemo("faulty.fdb");
  for (const std::string& db : {reference, faulty}) {
    runToEnd(registryFor(db, kAllAnew), {}, 600s);
    repriceReceipts(db);
  }
  const Costs before = costs(faulty);
  runToEnd(registryFor(reference, kAllAnew), {}, 600s);
  const Costs expected = costs(reference);
  long changed = 0;
  for (const auto& [key, cost] : expected) changed += cost != before.at(key);
  ASSERT_GT(changed, static_cast<long>(expected.size()) / 4) << "the pass changes too few costs";

  HostRun run(registryFor(faulty, kAllAnew));
  const auto issues = run.waitForText(kIssuesHeading, 300s);
  ASSERT_TRUE(issues) << run.errors() << printable(run.texts());
  const auto middle = run.waitFor(
      [](const LogEntry& e) {
        const auto c = counter(e.text);
        return c && c->first >= c->second / 3;
      },
      300s, *issues);
  ASSERT_TRUE(middle) << printable(run.texts());
  server.kill();
  const auto failed = run.waitFor([](const LogEntry& e) { return startsWith(e.text, kPassFailed); }, 60s, *middle);
  ASSERT_TRUE(failed) << printable(run.texts());
  std::this_thread::sleep_for(kOutage);
  server.start();

  // The run still counts down: the database holds what was committed before the fault.
  const Costs atFault = costs(faulty);
  ASSERT_FALSE(run.waitForText(kReconnected, 0s, *failed)) << "reconnected before the look";
  long neither = 0;
  for (const auto& [key, cost] : atFault)
    if (cost != before.at(key) && cost != expected.at(key)) ++neither;
  EXPECT_EQ(neither, 0) << "lines holding neither their old cost nor the whole run's, of " << atFault.size();
  EXPECT_TRUE(sameCosts(atFault, before));
  RecordProperty("lines_checked", static_cast<int>(atFault.size()));
  RecordProperty("lines_neither_old_nor_new", static_cast<int>(neither));

  const auto reconnected = run.waitForText(kReconnected, 120s, *failed);
  ASSERT_TRUE(reconnected) << printable(run.texts());
  const auto status = run.waitExit(600s);
  ASSERT_TRUE(status) << printable(run.texts());
  EXPECT_EQ(*status, 0) << run.errors();
  EXPECT_EQ(run.texts().back(), kProcessDone);
  EXPECT_TRUE(sameCosts(costs(faulty), expected));
}

}  // namespace
}  // namespace talvix::test
