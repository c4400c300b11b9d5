// Issues by weighted average, against a real database and a recording pricing library.
#include "average/average_passes.h"
#include "support/run_fixture.h"

#include <gtest/gtest.h>

namespace talvix {
namespace {

using test::RunFixture;

const DateTime kMarch1 = makeDate(2026, 3, 1);
const DateTime kMarch31 = makeDate(2026, 3, 31);

class IssuesWeighted : public ::testing::Test {
 protected:
  IssuesWeighted() {
    f.period(kMarch1 + 0.75, kMarch31 + 0.25);  // the pickers' time of day plays no part
    f.settings.issues = kOnlyWithoutCost;
    for (int goods : {1, 5, 7}) f.db.goodsWithKey(goods);
  }
  RunFixture f;
};

TEST_F(IssuesWeighted, PricesOnlyLinesWithoutCostInsideThePeriodBothEndsIncluded) {
  struct Row {
    DateTime date;
    test::Cost cost;
    double expected;
  };
  f.pricing.average = [](int, int, DateTime, bool, bool) { return 4.25; };
  const std::vector<Row> rows = {
      {kMarch1, 0.0, 4.25},                     // first day
      {kMarch31, std::nullopt, 4.25},           // last day; NULL like 0.00
      {makeDate(2026, 3, 15), 7.5, 7.5},        // priced already: untouched
      {kMarch1 - 1, 0.0, 0.0},                  // before the period
      {kMarch31 + 1, 0.0, 0.0},                 // after it
  };
  std::vector<int> lines;
  for (const Row& row : rows) lines.push_back(f.db.issue({.date = row.date, .cost = row.cost}));
  auto ctx = f.context();
  assignAverage(ctx, DocumentKind::Issue);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_DOUBLE_EQ(f.db.issueCost(lines[i]), rows[i].expected);
  }
  EXPECT_FALSE(f.db.isNull("SELECT IEP_CENA FROM O_PRCOUT WHERE ISN=" + std::to_string(lines[1])));
}

TEST_F(IssuesWeighted, CallsTheAverageOncePerLineWithIssueFlagsAndLogsItsSteps) {
  f.settings.issues = kAllAnew;
  f.db.issue({.date = makeDate(2026, 3, 2), .dept = 3, .goods = 7, .qty = 1});
  f.db.issue({.date = makeDate(2026, 3, 2), .dept = 3, .goods = 7, .qty = 2});
  auto ctx = f.context();
  assignAverage(ctx, DocumentKind::Issue);
  EXPECT_EQ(f.pricing.calls,
            (std::vector<std::string>{"PutInOperacija(AUTO IEP.SAD.," + formatIsoDate(todayLocal()) + ",,IZR=2,0," +
                                          periodLogText(f.settings) + ",null,0)",
                                      "TVidSvPasizm", "GetVidSvPasizmaksa(7,3,2026-03-02,false,true)",
                                      "GetVidSvPasizmaksa(7,3,2026-03-02,false,true)"}));
  EXPECT_EQ(f.log.lines, (std::vector<std::string>{"Aprēķinu izrakstīšanu ...", "1/2", "Izrakstīšana sadalīta"}));
  EXPECT_EQ(f.log.repaints, 1);
}

TEST_F(IssuesWeighted, EmptyPeriodStillLogsTheEntryAndBothLines) {
  auto ctx = f.context();
  assignAverage(ctx, DocumentKind::Issue);
  EXPECT_EQ(f.log.lines, (std::vector<std::string>{"Aprēķinu izrakstīšanu ...", "", "Izrakstīšana sadalīta"}));
  EXPECT_EQ(f.pricing.callsOf("PutInOperacija").size(), 1u);
  EXPECT_TRUE(f.pricing.callsOf("GetVidSvPasizmaksa").empty());
}

TEST_F(IssuesWeighted, LastPurchasePriceOptionNeverAsksForTheAverage) {
  f.settings.lastPurchasePrice = true;
  const int line = f.db.issue({.date = makeDate(2026, 3, 4), .dept = 2, .goods = 5});
  auto ctx = f.context();
  assignAverage(ctx, DocumentKind::Issue);
  EXPECT_EQ(f.pricing.callsOf("GetPedIepCena"), (std::vector<std::string>{"GetPedIepCena(5,2,0,2026-03-04)"}));
  EXPECT_TRUE(f.pricing.callsOf("GetVidSvPasizmaksa").empty());
  EXPECT_DOUBLE_EQ(f.db.issueCost(line), 33.0);
}

TEST_F(IssuesWeighted, ServicesFilterLeavesServicesUnselectedAndUncounted) {
  const int service = f.db.goods("Piegāde", 0, std::string("T"));
  const int goods = f.db.goods("Prece", 0, std::string("F"));
  const int serviceLine = f.db.issue({.date = makeDate(2026, 3, 4), .goods = service});
  const int goodsLine = f.db.issue({.date = makeDate(2026, 3, 4), .goods = goods});
  f.state.ServicesFilter = kServicesFilterText;
  auto ctx = f.context();
  assignAverage(ctx, DocumentKind::Issue);
  EXPECT_DOUBLE_EQ(f.db.issueCost(serviceLine), 0.0);
  EXPECT_DOUBLE_EQ(f.db.issueCost(goodsLine), 22.0);
  EXPECT_EQ(f.log.lines[1], "0/1");
}

TEST_F(IssuesWeighted, NonFinitePriceIsWrittenAsZero) {
  f.pricing.average = [](int, int, DateTime, bool, bool) { return std::numeric_limits<double>::quiet_NaN(); };
  const int line = f.db.issue({.date = makeDate(2026, 3, 4), .cost = std::nullopt});
  auto ctx = f.context();
  assignAverage(ctx, DocumentKind::Issue);
  EXPECT_EQ(f.db.issueCost(line), 0.0);
  EXPECT_FALSE(f.db.isNull("SELECT IEP_CENA FROM O_PRCOUT WHERE ISN=" + std::to_string(line)));
}

}  // namespace
}  // namespace talvix
