// What the three weighted-average steps for transfers, balances and transfers with issues share:
// their log lines and operation-log entry over an empty period, and never writing a non-finite price.
#include "average/average_passes.h"
#include "average/transfers_issues_weighted.h"
#include "support/run_fixture.h"

#include <gtest/gtest.h>

#include <limits>

namespace talvix {
namespace {

using test::RunFixture;

DateTime day(int d) { return makeDate(2026, 4, d); }

std::string operationEntry(const RunSettings& settings, const std::string& key) {
  return "PutInOperacija(AUTO IEP.SAD.," + formatIsoDate(todayLocal()) + ",," + key + ",0," + periodLogText(settings) +
         ",null,0)";
}

struct EmptyCase {
  const char* step;
  void (*assign)(RunContext&);
  int mode;  // of the kind the entry names
  std::string key;
  std::vector<std::string> lines;
  int repaints;
};

TEST(WeightedSteps, EmptyPeriodWritesTheFrameAndTheEntryOnly) {
  const std::vector<EmptyCase> cases = {
      {"transfers",
       [](RunContext& c) { assignAverage(c, DocumentKind::Transfer); },
       kOnlyWithoutCost,
       "PARV=1",
       {"Aprēķinu pārvietošanu ...", "", "Pārvietošana sadalīta"},
       0},
      {"transfers anew",
       [](RunContext& c) { assignAverage(c, DocumentKind::Transfer); },
       kAllAnew,
       "PARV=2",
       {"Aprēķinu pārvietošanu ...", "", "Pārvietošana sadalīta"},
       0},
      {"balances",
       [](RunContext& c) { assignAverage(c, DocumentKind::Balance); },
       kOnlyWithoutCost,
       "ATLIK=1",
       {"Aprēķinu atlikumus vidējā svērtā metode ...", "", "Atlikumi vidējā svērtā metode pabeigta"},
       1},
      {"balances anew",
       [](RunContext& c) { assignAverage(c, DocumentKind::Balance); },
       kAllAnew,
       "ATLIK=2",
       {"Aprēķinu atlikumus vidējā svērtā metode ...", "", "Atlikumi vidējā svērtā metode pabeigta"},
       1},
      {"transfers with issues",
       AssignTransfersIssuesWeighted,
       kOnlyWithoutCost,
       "PARV.IZR=1",
       {"Aprēķinu pārvietošanu un izrakstīšanu ...", "Pārvietošana un izrakstīšana sadalīta"},
       0},
      {"transfers anew with issues",
       AssignTransfersIssuesWeighted,
       kAllAnew,
       "PARV.IZR=2",
       {"Aprēķinu pārvietošanu un izrakstīšanu ...", "Pārvietošana un izrakstīšana sadalīta"},
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.step);
    RunFixture fx;
    fx.period(day(1), day(30));
    fx.settings.transfers = fx.settings.balances = c.mode;
    fx.settings.issues = kOnlyWithoutCost;  // not logged by the combined step
    fx.state.average = fx.pricing.newVidSvPasizm();
    fx.pricing.calls.clear();
    fx.db.goodsWithKey(7);
    // Priced already, or outside the period.
    fx.db.transfer({.date = day(3), .goods = 7, .cost = 2.0});
    fx.db.issue({.date = day(3), .goods = 7, .cost = 2.0});
    fx.db.balance({.date = day(3), .goods = 7, .cost = 2.0});
    fx.db.transfer({.date = day(31), .goods = 7});
    fx.db.issue({.date = day(1) - 1, .goods = 7});
    fx.db.balance({.date = day(31), .goods = 7});

    RunContext ctx = fx.context();
    c.assign(ctx);

    EXPECT_EQ(fx.log.lines, c.lines);
    EXPECT_EQ(fx.log.repaints, c.repaints);
    EXPECT_EQ(fx.pricing.calls, (std::vector<std::string>{operationEntry(fx.settings, c.key)}));
  }
}

// Which of the three lines a step writes.
struct Written {
  bool transfer, issue, balance;
  bool operator==(const Written&) const = default;
};

struct BadAnswerCase {
  const char* step;
  void (*assign)(RunContext&);
  bool lastPurchasePrice;
  double answer;
  Written written;
};

TEST(WeightedSteps, ANonFinitePriceIsWrittenAsZero) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const std::vector<BadAnswerCase> cases = {
      {"transfers", [](RunContext& c) { assignAverage(c, DocumentKind::Transfer); }, false, kNaN, {true, false, false}},
      {"transfers, last price",
       [](RunContext& c) { assignAverage(c, DocumentKind::Transfer); },
       true,
       kInf,
       {true, false, false}},
      {"balances", [](RunContext& c) { assignAverage(c, DocumentKind::Balance); }, false, -kInf, {false, false, true}},
      {"balances, last price",
       [](RunContext& c) { assignAverage(c, DocumentKind::Balance); },
       true,
       kNaN,
       {false, false, true}},
      {"transfers with issues", AssignTransfersIssuesWeighted, false, kInf, {true, true, false}},
      {"transfers with issues, last price", AssignTransfersIssuesWeighted, true, kNaN, {true, true, false}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.step);
    RunFixture fx;
    fx.period(day(1), day(30));
    fx.settings.lastPurchasePrice = c.lastPurchasePrice;
    fx.db.goodsWithKey(7);
    fx.pricing.average = [&](int, int, DateTime, bool, bool) { return c.answer; };
    fx.pricing.lastPrice = [&](int, int, int, DateTime) { return c.answer; };
    // NULL costs, so a written 0.0 shows.
    const std::string transfer = "SELECT CENA FROM O_PARPRC WHERE ISN=" +
                                 std::to_string(fx.db.transfer({.date = day(3), .goods = 7, .cost = std::nullopt}));
    const std::string issue = "SELECT IEP_CENA FROM O_PRCOUT WHERE ISN=" +
                              std::to_string(fx.db.issue({.date = day(3), .goods = 7, .cost = std::nullopt}));
    const std::string balance = "SELECT IEP_CENA FROM O_PRATL_PRC WHERE ISN=" +
                                std::to_string(fx.db.balance({.date = day(3), .goods = 7, .cost = std::nullopt}));

    RunContext ctx = fx.context();
    c.assign(ctx);
    fx.data.PRECES_DB_TRAN.commitRetaining();

    EXPECT_EQ((Written{!fx.db.isNull(transfer), !fx.db.isNull(issue), !fx.db.isNull(balance)}), c.written);
    for (const auto& sql : {transfer, issue, balance}) {
      if (!fx.db.isNull(sql)) {
        EXPECT_EQ(fx.db.scalar(sql), 0.0) << sql;
      }
    }
  }
}

}  // namespace
}  // namespace talvix
