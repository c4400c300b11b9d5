// Several continuous runs price one server database at once: from one registry or from two
// ("machines" that name the database by different paths), also through a server killed in the
// middle of a pass and started again 10 s later. They take turns, every line ends with the cost
// one run alone gives it, and each stops with status 0 on SIGTERM. Three runs are the fewest in
// which a run waits behind another waiting run; more only make the test longer, since the passes
// follow one another, on a machine whose two cores the server and the runs share.
#include "step/pricing_turn.h"
#include "step/run_settings.h"
#include "server_run_fixture.h"

#include <csignal>
#include <filesystem>
#include <memory>
#include <thread>

namespace talvix::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kOutage = 10s;

struct Scenario {
  const char* name;
  int runs;
  int machines;
  bool serverKilled;
};

const Scenario kScenarios[] = {
    {"ThreeRuns", 3, 1, false},
    {"ThreeRunsThroughAServerCrash", 3, 1, true},
    {"TwoMachines", 2, 2, false},
};

class TurnTest : public ServerRunTest, public ::testing::WithParamInterface<Scenario> {
 protected:
  // The database as machine n names it: another machine reaches the same file by another path.
  std::string asMachine(const std::string& fileName, int machine) {
    if (machine == 0) return server.connectionString(server.file(fileName));
    const std::string alias = server.file("machine" + std::to_string(machine));
    if (!std::filesystem::exists(alias)) std::filesystem::create_directory_symlink(".", alias);
    return server.connectionString(alias + "/" + fileName);
  }

  // Waits until one of the runs logs a matching entry; false after the limit.
  static bool anyReaches(std::vector<std::unique_ptr<HostRun>>& runs,
                         const std::function<bool(const LogEntry&)>& match, std::chrono::seconds limit) {
    for (const auto deadline = Clock::now() + limit; Clock::now() < deadline; std::this_thread::sleep_for(100ms))
      for (auto& run : runs)
        if (run->waitFor(match, 0s)) return true;
    return false;
  }
};

TEST_P(TurnTest, RunsTakeTurnsAndEveryLineHoldsTheCostOfOneRunAlone) {
  const Scenario& s = GetParam();
  const std::string reference = makeDemo("reference.fdb");
  makeDemo("shared.fdb");
  runToEnd(registryFor(reference, kOnlyWithoutCost), {"--passes", "3"}, 600s);
  const Costs expected = costs(reference);

  std::vector<std::unique_ptr<HostRun>> runs;
  for (int i = 0; i < s.runs; ++i)
    runs.push_back(std::make_unique<HostRun>(registryFor(asMachine("shared.fdb", i % s.machines), kOnlyWithoutCost)));
  std::vector<std::size_t> from(runs.size(), 0);
  if (s.serverKilled) {
    // Every run attached first: one killed mid-attach would wait out the client's connect timeout.
    for (auto& run : runs)
      ASSERT_TRUE(run->waitFor([](const LogEntry&) { return true; }, 120s)) << printable(run->texts());
    const auto aQuarterThrough = [](const LogEntry& e) {
      const auto c = counter(e.text);
      return c && c->first >= c->second / 4;
    };
    ASSERT_TRUE(anyReaches(runs, aQuarterThrough, 300s)) << printable(runs[0]->texts());
    server.kill();
    std::this_thread::sleep_for(kOutage);
    server.start();
    for (std::size_t i = 0; i < runs.size(); ++i) {
      const auto failed = runs[i]->waitFor([](const LogEntry& e) { return startsWith(e.text, kPassFailed); }, 60s);
      ASSERT_TRUE(failed) << "run " << i << "\n" << printable(runs[i]->texts());
      const auto reconnected = runs[i]->waitForText(kReconnected, 120s, *failed);
      ASSERT_TRUE(reconnected) << "run " << i << "\n" << printable(runs[i]->texts());
      from[i] = *reconnected;
    }
  }
  // Two passes each from there: the second starts after every other run's first has ended.
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const auto first = runs[i]->waitForText(kPassDone, 600s, from[i]);
    ASSERT_TRUE(first) << "run " << i << "\n" << printable(runs[i]->texts());
    ASSERT_TRUE(runs[i]->waitForText(kPassDone, 600s, *first + 1)) << "run " << i << "\n" << printable(runs[i]->texts());
  }
  for (auto& run : runs) run->signal(SIGTERM);
  bool someoneWaited = false;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const auto status = runs[i]->waitExit(60s);
    ASSERT_TRUE(status) << "run " << i << " did not stop on SIGTERM\n" << printable(runs[i]->texts());
    EXPECT_EQ(*status, 0) << runs[i]->errors();
    const std::vector<std::string> log = runs[i]->texts();
    EXPECT_EQ(log.back(), kStopped);
    for (const std::string& text : log) someoneWaited = someoneWaited || text == kWaitingForTurn;
  }
  EXPECT_TRUE(someoneWaited) << "runs that price at once wait for one another";
  EXPECT_TRUE(sameCosts(costs(server.connectionString(server.file("shared.fdb"))), expected));
}

INSTANTIATE_TEST_SUITE_P(Runs, TurnTest, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) { return info.param.name; });

}  // namespace
}  // namespace talvix::test
