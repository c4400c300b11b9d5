// Transfers by weighted average, against a real database with a recording pricing library.
#include "average/average_passes.h"
#include "support/run_fixture.h"
#include "library_calls.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace talvix {
namespace {

using test::RunFixture;

DateTime day(int d) { return makeDate(2026, 3, d); }

class TransfersWeighted : public ::testing::Test {
 protected:
  TransfersWeighted() {
    fx.period(day(1), day(31));
    fx.settings.transfers = kOnlyWithoutCost;
    fx.state.average = fx.pricing.newVidSvPasizm();  // the run creates it before this step
    fx.pricing.calls.clear();
  }
  void run() {
    RunContext ctx = fx.context();
    assignAverage(ctx, DocumentKind::Transfer);
  }
  RunFixture fx;
};

TEST_F(TransfersWeighted, PricesEachLineFromTheSendingDepartmentByDateThenKey) {
  fx.db.goodsWithKey(7);
  fx.db.goodsWithKey(8);
  const int late1 = fx.db.transfer({.date = day(5), .from = 3, .to = 4, .goods = 7});
  const int early = fx.db.transfer({.date = day(2), .from = 1, .to = 2, .goods = 8, .cost = std::nullopt});
  const int late2 = fx.db.transfer({.date = day(5), .from = 1, .to = 2, .goods = 8});
  const int priced = fx.db.transfer({.date = day(3), .goods = 7, .cost = 4.5});
  const int before = fx.db.transfer({.date = day(1) - 1, .goods = 7});
  const int after = fx.db.transfer({.date = day(32), .goods = 7});
  std::vector<std::string> counters;
  fx.pricing.average = [&](int goods, int dept, DateTime, bool, bool) {
    counters.push_back(fx.log.last());
    return goods * 10.0 + dept + 0.25;
  };

  run();

  EXPECT_EQ(test::priceCalls(fx.pricing), (std::vector<std::string>{
                                  "GetVidSvPasizmaksa(8,1,2026-03-02,true,true)",
                                  "GetVidSvPasizmaksa(7,3,2026-03-05,true,true)",
                                  "GetVidSvPasizmaksa(8,1,2026-03-05,true,true)",
                              }));
  EXPECT_EQ(counters, (std::vector<std::string>{"0/3", "1/3", "2/3"}));
  EXPECT_EQ(fx.log.lines,
            (std::vector<std::string>{"Aprēķinu pārvietošanu ...", "2/3", "Pārvietošana sadalīta"}));
  EXPECT_DOUBLE_EQ(fx.db.transferCost(early), 81.25);
  EXPECT_DOUBLE_EQ(fx.db.transferCost(late1), 73.25);
  EXPECT_DOUBLE_EQ(fx.db.transferCost(late2), 81.25);
  EXPECT_DOUBLE_EQ(fx.db.transferCost(priced), 4.5);
  EXPECT_DOUBLE_EQ(fx.db.transferCost(before), 0.0);
  EXPECT_DOUBLE_EQ(fx.db.transferCost(after), 0.0);
  EXPECT_EQ(fx.log.repaints, 0);
}

TEST_F(TransfersWeighted, TimesOfDayInThePickersDoNotNarrowThePeriod) {
  fx.db.goodsWithKey(7);
  fx.period(makeDateTime(2026, 3, 2, 16, 30, 0), makeDateTime(2026, 3, 9, 8, 0, 0));
  const int first = fx.db.transfer({.date = day(2), .goods = 7});
  const int last = fx.db.transfer({.date = day(9), .goods = 7});

  run();

  EXPECT_EQ(fx.pricing.callsOf("GetVidSvPasizmaksa").size(), 2u);
  EXPECT_DOUBLE_EQ(fx.db.transferCost(first), 22.0);
  EXPECT_DOUBLE_EQ(fx.db.transferCost(last), 22.0);
}

TEST_F(TransfersWeighted, ServicesArePricedEvenWhenTheFilterIsSet) {
  fx.db.goodsWithKey(7, "Piegāde", 0, "T");
  fx.settings.skipServices = true;
  fx.state.ServicesFilter = kServicesFilterText;
  const int line = fx.db.transfer({.date = day(4), .goods = 7});

  run();

  EXPECT_EQ(test::priceCalls(fx.pricing), (std::vector<std::string>{"GetVidSvPasizmaksa(7,1,2026-03-04,true,true)"}));
  EXPECT_DOUBLE_EQ(fx.db.transferCost(line), 22.0);
  EXPECT_EQ(fx.log.lines.at(1), "0/1");
}

TEST_F(TransfersWeighted, LastPurchasePriceReplacesTheAverage) {
  fx.db.goodsWithKey(7);
  fx.settings.lastPurchasePrice = true;
  const int line = fx.db.transfer({.date = day(4), .from = 5, .to = 6, .goods = 7});

  run();

  EXPECT_EQ(test::priceCalls(fx.pricing), (std::vector<std::string>{"GetPedIepCena(7,5,0,2026-03-04)"}));
  EXPECT_DOUBLE_EQ(fx.db.transferCost(line), 33.0);
}

TEST_F(TransfersWeighted, LinesPricedBeforeAFailureStayCommitted) {
  fx.db.goodsWithKey(7);
  const int first = fx.db.transfer({.date = day(2), .goods = 7});
  const int second = fx.db.transfer({.date = day(3), .goods = 7});
  int calls = 0;
  fx.pricing.average = [&](int, int, DateTime, bool, bool) -> double {
    if (++calls == 2) throw std::runtime_error("library down");
    return 5.5;
  };

  EXPECT_THROW(run(), std::runtime_error);

  fx.data.PRECES_DB_TRAN.deactivate();  // whatever was not committed is lost
  EXPECT_DOUBLE_EQ(fx.db.transferCost(first), 5.5);
  EXPECT_DOUBLE_EQ(fx.db.transferCost(second), 0.0);
}

}  // namespace
}  // namespace talvix
