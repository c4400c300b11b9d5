// The turn to price a database, between two attachments of one embedded database: what a run
// writes while it waits, what ends the wait, and that a run giving the turn back queues behind a
// waiter.
#include "data/db_error.h"
#include "data/reserved_key.h"
#include "step/pricing_turn.h"
#include "step/stop_request.h"
#include "support/run_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace talvix::test {
namespace {

// A run: its own attachment to the fixture's database, log and sleeper (which calls `at`).
struct ToolRun : Sleeper {
  explicit ToolRun(RunFixture& f) : pricing(data), ctx{f.settings, pricing, log, f.registry, *this, state} {
    data.PRECES_DB.setDatabaseName(f.db.path());
    data.connect();
  }
  void sleepMilliseconds(int) override { at(++sleeps); }
  bool turnIsFree() { return ReservedKey(data.PRECES_DB, PricingTurn::kTurnKey).tryHold(); }

  MainFormDati data;
  RecordingPricing pricing;
  RecordingLog log;
  SessionState state;
  RunContext ctx;
  int sleeps = 0;
  std::function<void(int sleep)> at = [](int) {};
};

std::string waited(int seconds) {
  return "Gaidu jau " + std::to_string(seconds) + " sekundes, kamēr cita piešķiršana beidzas ...";
}

TEST(PricingTurnTest, WaitsWhileAnotherRunPricesAndStopsOnRequest) {
  const struct {
    bool otherHolds;
    int releaseAtSleep, stopAtSleep;  // 0: never; a sleep is 250 ms
    std::vector<std::string> log;
    bool taken;
  } cases[] = {
      {false, 0, 0, {}, true},
      {true, 3, 0, {kWaitingForTurn}, true},
      {true, 9, 0, {waited(2)}, true},
      {true, 0, 6, {waited(1)}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.releaseAtSleep * 100 + c.stopAtSleep);
    RunFixture f;
    ToolRun run(f), other(f);
    ReservedKey holder(other.data.PRECES_DB, PricingTurn::kTurnKey);
    if (c.otherHolds) {
      ASSERT_TRUE(holder.tryHold());
    }
    run.at = [&](int sleep) {
      if (sleep == c.releaseAtSleep) holder.release();
      if (sleep == c.stopAtSleep) requestStop();
    };
    const StopScope scope;
    std::optional<PricingTurn> turn;
    try {
      turn.emplace(run.ctx);
    } catch (const RunStopped&) {
    }
    EXPECT_EQ(turn.has_value(), c.taken);
    EXPECT_EQ(run.log.lines, c.log);
    holder.release();
    EXPECT_EQ(other.turnIsFree(), !c.taken);
    turn.reset();
    EXPECT_TRUE(other.turnIsFree()) << "given back";
  }
}

TEST(PricingTurnTest, ARunThatGivesTheTurnBackQueuesBehindTheRunWaitingForIt) {
  RunFixture f;
  ToolRun waiter(f), other(f);
  std::optional<PricingTurn> first(std::in_place, other.ctx);
  other.at = [](int) { requestStop(); };
  bool retaken = true;
  waiter.at = [&](int) {
    if (!first) return;
    first.reset();
    try {
      PricingTurn again(other.ctx);
    } catch (const RunStopped&) {
      retaken = false;
      clearStopRequest();
    }
  };
  const PricingTurn turn(waiter.ctx);
  EXPECT_FALSE(retaken);
  EXPECT_EQ(other.log.lines, std::vector<std::string>{kWaitingForTurn});
}

TEST(PricingTurnTest, ACommittedRowWithTheTurnsKeyIsReportedInsteadOfWaitedFor) {
  RunFixture f;
  ToolRun run(f);
  f.db.exec("INSERT INTO S_OPERACIJAS (ISN) VALUES (" + std::to_string(PricingTurn::kTurnKey) + ")");
  EXPECT_THROW(PricingTurn turn(run.ctx), DbError);
  EXPECT_EQ(run.sleeps, 0);
}

}  // namespace
}  // namespace talvix::test
