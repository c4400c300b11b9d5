// Goods-balance documents by weighted average: per-line pricing, one commit for the whole step.
#include "average/average_passes.h"
#include "support/run_fixture.h"
#include "library_calls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

namespace talvix {
namespace {

using test::RunFixture;

DateTime day(int d) { return makeDate(2026, 3, d); }

class BalancesWeighted : public ::testing::Test {
 protected:
  BalancesWeighted() {
    fx.period(day(1), day(31));
    fx.settings.balances = kOnlyWithoutCost;
    fx.state.average = fx.pricing.newVidSvPasizm();
    fx.pricing.calls.clear();
    fx.db.goodsWithKey(7);
  }
  void run() {
    RunContext ctx = fx.context();
    assignAverage(ctx, DocumentKind::Balance);
  }
  // The costs as another user of the database sees them.
  std::vector<double> visibleCosts(const std::vector<int>& lines) {
    std::vector<double> costs;
    for (int line : lines) costs.push_back(fx.db.balanceCost(line));
    return costs;
  }
  RunFixture fx;
};

TEST_F(BalancesWeighted, CountsFromOneAndRepaintsAfterEveryLine) {
  std::vector<int> lines = {
      fx.db.balance({.date = day(3), .dept = 4, .goods = 7}),
      fx.db.balance({.date = day(5), .dept = 5, .goods = 7, .cost = std::nullopt}),
      fx.db.balance({.date = day(6), .dept = 6, .goods = 7, .unconfirmed = "T"}),
  };
  const int priced = fx.db.balance({.date = day(4), .goods = 7, .cost = 9.0});
  std::vector<std::string> counters;
  std::vector<int> repaints;
  fx.pricing.average = [&](int, int dept, DateTime, bool, bool) {
    counters.push_back(fx.log.last());
    repaints.push_back(fx.log.repaints);
    return dept + 0.5;
  };

  run();

  EXPECT_EQ(counters, (std::vector<std::string>{"1/3", "2/3", "3/3"}));
  EXPECT_EQ(repaints, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(fx.log.repaints, 4);
  EXPECT_EQ(fx.log.lines, (std::vector<std::string>{"Aprēķinu atlikumus vidējā svērtā metode ...", "3/3",
                                                    "Atlikumi vidējā svērtā metode pabeigta"}));
  auto calls = test::priceCalls(fx.pricing);
  std::sort(calls.begin(), calls.end());  // the select has no order
  EXPECT_EQ(calls, (std::vector<std::string>{
                       "GetVidSvPasizmaksa(7,4,2026-03-03,false,false)",
                       "GetVidSvPasizmaksa(7,5,2026-03-05,false,false)",
                       "GetVidSvPasizmaksa(7,6,2026-03-06,false,false)",
                   }));
  EXPECT_EQ(visibleCosts(lines), (std::vector<double>{4.5, 5.5, 6.5}));
  EXPECT_DOUBLE_EQ(fx.db.balanceCost(priced), 9.0);
}

TEST_F(BalancesWeighted, NothingIsVisibleToOthersBeforeTheEnd) {
  const std::vector<int> lines = {fx.db.balance({.date = day(3), .goods = 7}),
                                  fx.db.balance({.date = day(4), .goods = 7}),
                                  fx.db.balance({.date = day(5), .goods = 7})};
  std::vector<std::vector<double>> seen;
  fx.pricing.average = [&](int, int, DateTime, bool, bool) {
    seen.push_back(visibleCosts(lines));
    return 2.0;
  };

  run();

  const std::vector<double> none = {0.0, 0.0, 0.0};
  EXPECT_EQ(seen, (std::vector<std::vector<double>>{none, none, none}));
  EXPECT_EQ(visibleCosts(lines), (std::vector<double>{2.0, 2.0, 2.0}));
}

TEST_F(BalancesWeighted, AFailureMidwayCommitsNothing) {
  const std::vector<int> lines = {fx.db.balance({.date = day(3), .goods = 7}),
                                  fx.db.balance({.date = day(4), .goods = 7}),
                                  fx.db.balance({.date = day(5), .goods = 7})};
  int calls = 0;
  fx.pricing.average = [&](int, int, DateTime, bool, bool) -> double {
    if (++calls == 3) throw std::runtime_error("library down");
    return 2.0;
  };

  EXPECT_THROW(run(), std::runtime_error);

  EXPECT_EQ(visibleCosts(lines), (std::vector<double>{0.0, 0.0, 0.0}));
  EXPECT_NE(fx.log.last(), "Atlikumi vidējā svērtā metode pabeigta");
  // The written lines wait in the open transaction for its next commit.
  ASSERT_TRUE(fx.data.PRECES_DB_TRAN.inTransaction());
  fx.data.PRECES_DB_TRAN.commitRetaining();
  int written = 0;
  for (double cost : visibleCosts(lines)) written += cost == 2.0;
  EXPECT_EQ(written, 2);
}

TEST_F(BalancesWeighted, ServicesFilterLeavesServicesUncounted) {
  fx.db.goodsWithKey(8, "Uzstādīšana", 0, "J");
  fx.db.goodsWithKey(9, "Prece F", 0, "F");
  fx.state.ServicesFilter = kServicesFilterText;
  const int service = fx.db.balance({.date = day(3), .goods = 8});
  const int goodsF = fx.db.balance({.date = day(3), .goods = 9});

  run();

  EXPECT_EQ(test::priceCalls(fx.pricing), (std::vector<std::string>{"GetVidSvPasizmaksa(9,1,2026-03-03,false,false)"}));
  EXPECT_EQ(fx.log.lines.at(1), "1/1");
  EXPECT_DOUBLE_EQ(fx.db.balanceCost(service), 0.0);
  EXPECT_DOUBLE_EQ(fx.db.balanceCost(goodsF), 22.0);
}

TEST_F(BalancesWeighted, LastPurchasePriceReplacesTheAverage) {
  fx.settings.lastPurchasePrice = true;
  const int line = fx.db.balance({.date = day(8), .dept = 3, .goods = 7});

  run();

  EXPECT_EQ(test::priceCalls(fx.pricing), (std::vector<std::string>{"GetPedIepCena(7,3,0,2026-03-08)"}));
  EXPECT_DOUBLE_EQ(fx.db.balanceCost(line), 33.0);
}

}  // namespace
}  // namespace talvix
