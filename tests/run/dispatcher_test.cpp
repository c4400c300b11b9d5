// The assign button's dispatcher: period checks, method choice and the FIFO loop's recovery.
#include "run/dispatcher.h"
#include "data/db_error.h"
#include "run/blocked_days.h"
#include "support/run_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace talvix {
namespace {

using test::RunFixture;

class RecordingHost : public DispatcherHost {
 public:
  void SaveSettings() override { ++saves; }
  void showMessage(const std::string& text) override { messages.push_back(text); }
  int saves = 0;
  std::vector<std::string> messages;
};

// A pricing library whose run timer fails while `failures` lasts, as a pass does when the database
// goes away at its start; onFailure lets a test break or mend the connection at that moment.
class FailingPricing : public test::RecordingPricing {
 public:
  using RecordingPricing::RecordingPricing;
  std::unique_ptr<TMylaiks> newMylaiks() override {
    if (failures > 0) {
      --failures;
      if (onFailure) onFailure(failures);
      throw DbError("Error reading data from the connection.");
    }
    return RecordingPricing::newMylaiks();
  }
  int failures = 0;
  std::function<void(int left)> onFailure;
};

class Dispatcher : public ::testing::Test {
 protected:
  Dispatcher() : failing(f.data) { f.period(makeDate(2026, 3, 1), makeDate(2026, 3, 31)); }
  void press(PricingLibrary* library = nullptr) {
    auto ctx = f.context(library);
    ctx.host = &host;
    runCosting(ctx);
  }
  RunFixture f;
  RecordingHost host;
  FailingPricing failing;
};

TEST_F(Dispatcher, BlockedPeriodIsRefusedWithTheTwoLineTextAndNothingSavedOrRun) {
  f.pricing.blocked = true;
  press();
  EXPECT_EQ(host.messages, (std::vector<std::string>{
                               "Šajā periodā ir bloķētās dienas, sadalīt nedrīkst !!! \n (Sākumā jāatbloķē periods)"}));
  EXPECT_EQ(host.saves, 0);
  EXPECT_TRUE(f.log.lines.empty());
  EXPECT_EQ(f.pricing.calls, (std::vector<std::string>{"VaiBloketsPeriods(2026-03-01,2026-03-31)"}));
}

// Beside the fixed text, the blocked days of the period: following days as one span, days outside
// the period left out.
TEST_F(Dispatcher, TheRefusalNamesTheBlockedDaysOfThePeriod) {
  const struct {
    const char* scenario;
    std::vector<DateTime> blocked;
    std::string named;  // after the fixed text and a line feed; empty: nothing added
  } rows[] = {
      {"one day", {makeDate(2026, 3, 10)}, "Bloķētās dienas: 10.03.2026"},
      {"a span and a day, each once",
       {makeDate(2026, 3, 5), makeDate(2026, 3, 3), makeDate(2026, 3, 4), makeDate(2026, 3, 4), makeDate(2026, 3, 31)},
       "Bloķētās dienas: 03.03.2026–05.03.2026, 31.03.2026"},
      {"days outside the period are not named",
       {makeDate(2026, 2, 28), makeDate(2026, 4, 1), makeDate(2026, 3, 1)},
       "Bloķētās dienas: 01.03.2026"},
      {"the library blocks, the table holds none", {}, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.scenario);
    f.db.connection().executeImmediate("DELETE FROM N_BLOKDIENAS");
    for (const DateTime day : row.blocked) f.db.blockDay(day);
    f.db.connection().defaultTransaction().commit();
    host.messages.clear();
    f.pricing.blocked = true;
    press();
    const std::string fixed = "Šajā periodā ir bloķētās dienas, sadalīt nedrīkst !!! \n (Sākumā jāatbloķē periods)";
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], row.named.empty() ? fixed : fixed + "\n" + row.named);
    EXPECT_EQ(host.saves, 0);
  }
}

TEST(BlockedDaysLine, ShowsTheFirstDozenSpansAndCountsTheRest) {
  std::vector<DateTime> days;
  for (int d = 1; d <= 28; d += 2) days.push_back(makeDate(2026, 2, d));  // 14 spans of one day
  const std::string line = blockedDaysLine(days);
  EXPECT_EQ(line.rfind("Bloķētās dienas: 01.02.2026, 03.02.2026, ", 0), 0u) << line;
  EXPECT_NE(line.find("23.02.2026 un vēl 2"), std::string::npos) << line;
  EXPECT_EQ(line.find("25.02.2026"), std::string::npos) << line;
}

TEST_F(Dispatcher, SkipFlagLeavesTheBlockedPeriodUnchecked) {
  f.pricing.blocked = true;
  f.data.SkipPeriodLockCheck = true;
  press();
  EXPECT_TRUE(f.pricing.callsOf("VaiBloketsPeriods").empty());
  EXPECT_EQ(host.saves, 1);
  EXPECT_EQ(f.log.lines.front(), "Piešķir vidējā svērtā");
}

TEST_F(Dispatcher, BlockedPeriodCheckGetsWholeDates) {
  f.period(makeDateTime(2026, 3, 1, 15, 30, 0), makeDateTime(2026, 3, 31, 8, 0, 0));
  press();
  EXPECT_EQ(f.pricing.callsOf("VaiBloketsPeriods"),
            (std::vector<std::string>{"VaiBloketsPeriods(2026-03-01,2026-03-31)"}));
}

TEST_F(Dispatcher, AveragePeriodOfHundredDaysRunsAndOfHundredAndOneIsRefusedAfterSaving) {
  struct Case {
    DateTime last;
    bool runs;
  };
  for (const Case& c : {Case{makeDate(2026, 6, 9), true}, Case{makeDate(2026, 6, 10), false},
                        Case{makeDate(2026, 2, 1), true}}) {
    RunFixture run;
    RecordingHost h;
    run.period(makeDate(2026, 3, 1), c.last);
    auto ctx = run.context();
    ctx.host = &h;
    runCosting(ctx);
    EXPECT_EQ(h.saves, 1);
    if (c.runs) {
      EXPECT_TRUE(h.messages.empty());
      EXPECT_EQ(run.log.lines.front(), "Piešķir vidējā svērtā");
    } else {
      EXPECT_EQ(h.messages, (std::vector<std::string>{"Vidējai svērtai cenai periods nedrīkst pārsniegt 100 dienas !!!"}));
      EXPECT_TRUE(run.log.lines.empty());
    }
  }
}

TEST_F(Dispatcher, AnyMethodFlagButOneChoosesTheWeightedAverage) {
  const std::vector<std::optional<int>> flags = {std::nullopt, 0, 2};
  for (const auto& flag : flags) {
    RunFixture run;
    RecordingHost h;
    run.period(makeDate(2026, 3, 1), makeDate(2026, 3, 31));
    run.db.setFifo(flag);
    auto ctx = run.context();
    ctx.host = &h;
    runCosting(ctx);
    EXPECT_EQ(run.log.lines.front(), "Piešķir vidējā svērtā");
  }
  // And with no N_ISI row at all (the fixture's template has none).
  press();
  EXPECT_EQ(f.log.lines.front(), "Piešķir vidējā svērtā");
}

TEST_F(Dispatcher, FifoPassFailureIsLoggedCountedDownAndReconnectedThenThePassRunsAgain) {
  f.db.setFifo(1);
  f.settings.issues = kAllAnew;
  failing.failures = 1;
  press(&failing);
  ASSERT_GE(f.log.lines.size(), 4u);
  EXPECT_EQ(f.log.lines[0], "Sāku FIFO ...");
  EXPECT_EQ(f.log.lines[1], "Kļūda FIFO piešķiršanā : Error reading data from the connection.");
  EXPECT_EQ(f.log.lines[2], "Pieslēdzās datu bāzei par jaunu...");
  EXPECT_EQ(f.log.lines[3], "Pieslēgšanās veiksmīga");
  EXPECT_EQ(f.log.lines[4], "Sāku FIFO ...");
  EXPECT_EQ(f.log.lines.back(), "Process pabeigts");
  EXPECT_EQ(f.sleeper.waits, std::vector<int>(30, 1000));
  EXPECT_TRUE(f.data.PRECES_DB.connected());
}

TEST_F(Dispatcher, CountdownRewritesOneLineFromThirtyToOne) {
  f.db.setFifo(1);
  f.settings.returns = kAllAnew;
  failing.failures = 1;
  std::vector<std::string> countdown;
  class Watching : public test::CountingSleeper {
   public:
    explicit Watching(test::RecordingLog& log, std::vector<std::string>& seen) : log_(log), seen_(seen) {}
    void sleepMilliseconds(int ms) override {
      seen_.push_back(log_.last() + "|" + std::to_string(log_.lines.size()));
      CountingSleeper::sleepMilliseconds(ms);
    }
   private:
    test::RecordingLog& log_;
    std::vector<std::string>& seen_;
  } watching(f.log, countdown);
  RunContext ctx{f.settings, failing, f.log, f.registry, watching, f.state};
  ctx.host = &host;
  runCosting(ctx);
  ASSERT_EQ(countdown.size(), 30u);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(countdown[i], "Gaidu " + std::to_string(30 - i) + " sekundes ...|3");
}

TEST_F(Dispatcher, FailedReconnectLeavesTheErrorOnTheLastLineAndTheLoopGoesOn) {
  f.db.setFifo(1);
  f.settings.balances = kAllAnew;
  const std::string good = f.db.path();
  failing.failures = 2;
  failing.onFailure = [&](int left) {
    // First failure: the database moves away; second: it is back for the next reconnect.
    f.data.PRECES_DB.setDatabaseName(left == 1 ? f.db.dir().file("missing.fdb") : good);
  };
  press(&failing);
  const auto& lines = f.log.lines;
  const auto cannot = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.rfind("Nevaru atvērt datu bāzi !!!", 0) == 0;
  });
  ASSERT_NE(cannot, lines.end());
  EXPECT_NE(cannot->find("missing.fdb"), std::string::npos) << *cannot;
  ASSERT_GE(lines.end() - cannot, 3);
  EXPECT_EQ(*(cannot + 1), "Sāku FIFO ...");
  EXPECT_EQ(*(cannot + 2), "Kļūda FIFO piešķiršanā : Error reading data from the connection.");
  EXPECT_EQ(lines.back(), "Process pabeigts");
  EXPECT_EQ(f.sleeper.waits.size(), 60u);
}

}  // namespace
}  // namespace talvix
