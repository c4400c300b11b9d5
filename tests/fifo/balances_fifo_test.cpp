// Goods-balance documents by FIFO: the serial, last-purchase and FIFO rules, the FIFO arguments
// (stock 0, the day's balance quantity), the reuse of the last price, the reset and the progress.
#include "fifo/fifo_step_fixture.h"

#include <ostream>

namespace talvix::test {
namespace {

using Calls = std::vector<std::string>;

using BalancesFifoTest = KindFifoTest<DocumentKind::Balance>;

TEST_F(BalancesFifoTest, TheLowerLineKeyCallsWithStockZeroAndTheOtherSharesItsPrice) {
  pricing.fifo = [](int, int, DateTime, double, double qty, double) { return qty * 2; };
  const int g = db.goods();
  const int three = db.balance({.date = day(5), .goods = g, .qty = 3});
  const int five = db.balance({.date = day(5), .goods = g, .qty = 5});
  db.balance({.date = day(5), .goods = g, .qty = 4, .cost = 1.0, .unconfirmed = std::string("T")});
  db.issue({.date = day(5), .goods = g, .qty = 50});
  run();
  EXPECT_EQ(pricing.calls, (Calls{operationEntry("AUTO IEP.SAD.", "ATLIK=1"),
                                  "GetPasizmaksa(" + std::to_string(g) + ",1," + date(5) + ",0,3,12)"}));
  EXPECT_EQ(db.balanceCost(three), 6.0);
  EXPECT_EQ(db.balanceCost(five), 6.0);
}

TEST_F(BalancesFifoTest, ANegativeLineGoesThroughFifoLikeAnyOther) {
  const int g = db.goods();
  const int line = db.balance({.date = day(5), .dept = 3, .goods = g, .qty = -2});
  run();
  EXPECT_EQ(pricing.callsOf("GetPasizmaksa"),
            Calls{"GetPasizmaksa(" + std::to_string(g) + ",3," + date(5) + ",0,-2,-2)"});
  EXPECT_EQ(db.balanceCost(line), 11.0);
}

struct RuleRow {
  const char* name;
  bool serialLookup, lastPrice;
  int serial;
  double qty;
  double cost;
  Calls calls;
};
void PrintTo(const RuleRow& row, std::ostream* os) { *os << row.name; }

const RuleRow kBalanceRules[] = {
    {"serial record 11, quantity 1", true, true, 11, 1, 40, {}},
    {"no receipt for the serial record gives 0", true, true, 12, 1, 0, {}},
    {"quantity 3 falls to last purchase", true, true, 11, 3, 33, {"GetPedIepCena(#,1,0,2026-03-05)"}},
    {"serial record 10 falls to FIFO", true, false, 10, 1, 11, {"GetPasizmaksa(#,1,2026-03-05,0,1,1)"}},
    {"last purchase also for a negative line", false, true, 0, -1, 33, {"GetPedIepCena(#,1,0,2026-03-05)"}},
};

class BalanceRuleTest : public BalancesFifoTest, public ::testing::WithParamInterface<RuleRow> {};

TEST_P(BalanceRuleTest, PricesFromTheFirstRuleThatApplies) {
  const RuleRow& row = GetParam();
  SCOPED_TRACE(row.name);
  settings.serialLookup = row.serialLookup;
  settings.lastPurchasePrice = row.lastPrice;
  const int g = db.goods();
  db.receipt({.date = day(1), .goods = g, .price = 50, .discount = -20, .serial = 11});
  db.receipt({.date = day(1), .goods = g, .price = 45, .serial = 10});
  const int line = db.balance({.date = day(5), .goods = g, .qty = row.qty, .serial = row.serial});
  run();
  EXPECT_DOUBLE_EQ(db.balanceCost(line), row.cost);
  Calls expected;
  for (std::string call : row.calls) expected.push_back(call.replace(call.find('#'), 1, std::to_string(g)));
  Calls made = pricing.calls;
  made.erase(made.begin());  // the operation-log entry
  EXPECT_EQ(made, expected);
}

INSTANTIATE_TEST_SUITE_P(Rules, BalanceRuleTest, ::testing::ValuesIn(kBalanceRules));

TEST_F(BalancesFifoTest, ModeTwoResetsThePeriodInOneStatementAndCountsFromOne) {
  settings.balances = kAllAnew;
  settings.skipServices = true;
  const int g = db.goods();
  const int service = db.goods("Serviss", 0, std::string("T"));
  const int a = db.balance({.date = day(5), .goods = g, .cost = 5.0});
  const int b = db.balance({.date = day(9), .goods = g, .cost = std::nullopt});
  const int serviceLine = db.balance({.date = day(9), .goods = service, .cost = 6.0});
  const int after = db.balance({.date = makeDate(2026, 4, 1), .goods = g, .cost = 9.0});
  run();
  EXPECT_EQ(db.balanceCost(a), 11.0);
  EXPECT_EQ(db.balanceCost(b), 11.0);
  EXPECT_EQ(db.balanceCost(serviceLine), 6.0);
  EXPECT_EQ(db.balanceCost(after), 9.0);
  EXPECT_EQ(history.history, (Calls{"+Aprēķinu pašizmaksu atlikumiem ...", "+", "~1/2", "~2/2",
                                    "+Pašizmaksa atlikumiem piešķirta"}));
  EXPECT_EQ(pricing.callsOf("PutInOperacija"), Calls{operationEntry("AUTO IEP.SAD.", "ATLIK=2")});
}

}  // namespace
}  // namespace talvix::test
