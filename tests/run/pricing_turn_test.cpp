// The turn to price a database, between attachments of one embedded database: what a run writes
// while it waits, what ends the wait, and that a run giving the turn back queues behind a waiter.
#include "data/db_error.h"
#include "data/reserved_key.h"
#include "step/pricing_turn.h"
#include "step/stop_request.h"
#include "support/run_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

namespace talvix::test {
namespace {

struct CallbackSleeper : Sleeper {
  void sleepMilliseconds(int) override {
    if (at) at(++sleeps);
  }
  int sleeps = 0;
  std::function<void(int sleep)> at;
};

// Another run of the tool on the same database: its own attachment, log and sleeper.
struct OtherRun {
  explicit OtherRun(RunFixture& f) : pricing(data) {
    data.PRECES_DB.setDatabaseName(f.db.path());
    data.connect();
  }
  RunContext context(RunFixture& f) { return RunContext{f.settings, pricing, log, f.registry, sleeper, state}; }
  bool turnIsFree() {
    ReservedKey probe(data.PRECES_DB, PricingTurn::kTurnKey);
    return probe.tryHold();
  }
  MainFormDati data;
  RecordingPricing pricing;
  RecordingLog log;
  CallbackSleeper sleeper;
  WindowState state;
};

std::string waited(int seconds) {
  return "Gaidu jau " + std::to_string(seconds) + " sekundes, kamēr cita piešķiršana beidzas ...";
}

struct Case {
  const char* name;
  bool otherHolds;
  int releaseAtSleep;  // 0: never
  int stopAtSleep;     // 0: never
  std::vector<std::string> log;
  bool turnTaken;
};

TEST(PricingTurnTest, WaitsWhileAnotherRunPricesAndStopsOnRequest) {
  const Case cases[] = {
      {"alone", false, 0, 0, {}, true},
      {"released within a second", true, 3, 0, {kWaitingForTurn}, true},
      {"released after two seconds", true, 9, 0, {waited(2)}, true},
      {"stopped while waiting", true, 0, 6, {waited(1)}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunFixture f;
    OtherRun other(f);
    CallbackSleeper sleeper;
    RunContext ctx{f.settings, f.pricing, f.log, f.registry, sleeper, f.state};
    auto holder = std::make_unique<ReservedKey>(other.data.PRECES_DB, PricingTurn::kTurnKey);
    if (c.otherHolds) ASSERT_TRUE(holder->tryHold());
    sleeper.at = [&](int sleep) {
      if (sleep == c.releaseAtSleep) holder->release();
      if (sleep == c.stopAtSleep) requestStop();
    };
    const StopScope scope;
    std::optional<PricingTurn> turn;
    try {
      turn.emplace(ctx);
    } catch (const RunStopped&) {
    }
    EXPECT_EQ(turn.has_value(), c.turnTaken);
    EXPECT_EQ(f.log.lines, c.log);
    holder->release();
    EXPECT_EQ(other.turnIsFree(), !c.turnTaken) << "the turn is held only while the object lives";
    turn.reset();
    EXPECT_TRUE(other.turnIsFree());
  }
}

TEST(PricingTurnTest, ARunThatGivesTheTurnBackQueuesBehindTheRunWaitingForIt) {
  RunFixture f;
  OtherRun other(f);
  RunContext otherCtx = other.context(f);
  auto first = std::make_unique<PricingTurn>(otherCtx);
  CallbackSleeper sleeper;
  RunContext ctx{f.settings, f.pricing, f.log, f.registry, sleeper, f.state};
  bool retakenBeforeTheWaiter = true;
  sleeper.at = [&](int sleep) {
    if (sleep != 1) return;
    first.reset();
    other.sleeper.at = [](int) { requestStop(); };
    try {
      PricingTurn again(otherCtx);
    } catch (const RunStopped&) {
      retakenBeforeTheWaiter = false;
      clearStopRequest();
    }
  };
  const PricingTurn turn(ctx);
  EXPECT_FALSE(retakenBeforeTheWaiter);
  EXPECT_EQ(other.log.lines, std::vector<std::string>{kWaitingForTurn});
  EXPECT_FALSE(other.turnIsFree());
}

TEST(PricingTurnTest, ACommittedRowWithTheTurnsKeyIsReportedInsteadOfWaitedFor) {
  RunFixture f;
  f.db.exec("INSERT INTO S_OPERACIJAS (ISN) VALUES (" + std::to_string(PricingTurn::kTurnKey) + ")");
  CallbackSleeper sleeper;
  RunContext ctx{f.settings, f.pricing, f.log, f.registry, sleeper, f.state};
  try {
    PricingTurn turn(ctx);
    FAIL() << "took a turn that can never be given";
  } catch (const DbError& error) {
    EXPECT_NE(std::string(error.what()).find(std::to_string(PricingTurn::kTurnKey)), std::string::npos) << error.what();
  }
  EXPECT_EQ(sleeper.sleeps, 0);
}

}  // namespace
}  // namespace talvix::test
