// Transfers by FIFO: which source prices a line, the calls it makes with which arguments, the
// reuse of the last FIFO price, the reset of mode 2 and the progress lines.
#include "fifo/fifo_step_fixture.h"

#include <cmath>
#include <limits>

#include <ostream>

namespace talvix::test {
namespace {

using Calls = std::vector<std::string>;

using TransfersFifoTest = KindFifoTest<DocumentKind::Transfer>;

TEST_F(TransfersFifoTest, LinesOfOneGoodsDepartmentAndDayShareTheFirstLinesFifoPrice) {
  pricing.fifo = [](int, int, DateTime, double, double qty, double) { return qty * 2; };
  const int g = db.goods();
  const int five = db.transfer({.date = day(5), .goods = g, .qty = 5});
  const int three = db.transfer({.date = day(5), .goods = g, .qty = 3});
  run();
  const std::string key = std::to_string(g) + ",1," + date(5);
  EXPECT_EQ(pricing.calls, (Calls{operationEntry("AUTO.IEP.SAD.", "PARV=1"), "PrecValid(" + key + ")",
                                  "GetPasizmaksa(" + key + ",101,5,8)"}));
  EXPECT_EQ(db.transferCost(five), 10.0);
  EXPECT_EQ(db.transferCost(three), 10.0);
}

TEST_F(TransfersFifoTest, TheSendingDepartmentGivesPriceStockAndDayQuantity) {
  const int g = db.goods();
  db.transfer({.date = day(5), .from = 3, .to = 4, .goods = g, .qty = 5});
  db.issue({.date = day(5), .dept = 3, .goods = g, .qty = 2});
  db.issue({.date = day(5), .dept = 4, .goods = g, .qty = 9});
  db.balance({.date = day(5), .dept = 3, .goods = g, .qty = 1});
  run();
  const std::string key = std::to_string(g) + ",3," + date(5);
  EXPECT_EQ(pricing.callsOf("PrecValid"), Calls{"PrecValid(" + key + ")"});
  EXPECT_EQ(pricing.callsOf("ApgrozDaudzums"), Calls{"ApgrozDaudzums(" + key + ")"});
  EXPECT_EQ(pricing.callsOf("GetPasizmaksa"), Calls{"GetPasizmaksa(" + key + ",108,5,7)"});
}

TEST_F(TransfersFifoTest, EachSendingDepartmentGetsItsOwnCall) {
  const int g = db.goods();
  db.transfer({.date = day(5), .from = 1, .goods = g, .qty = 5});
  db.transfer({.date = day(5), .from = 3, .goods = g, .qty = 3});
  run();
  EXPECT_EQ(pricing.callsOf("GetPasizmaksa"),
            (Calls{"GetPasizmaksa(" + std::to_string(g) + ",1," + date(5) + ",101,5,5)",
                   "GetPasizmaksa(" + std::to_string(g) + ",3," + date(5) + ",101,3,3)"}));
}

TEST_F(TransfersFifoTest, OnlyTheImmediatelyPrecedingLineIsRemembered) {
  // A header without a department reads as department 0 but sorts before department 0, so goods A,
  // B and A again follow one another with equal keys as read.
  const int a = db.goods("A"), b = db.goods("B");
  const int first = db.transfer({.date = day(5), .goods = a, .qty = 5});
  db.transfer({.date = day(5), .goods = b, .qty = 4});
  db.transfer({.date = day(5), .from = 0, .goods = a, .qty = 3});
  db.exec("UPDATE O_PARPAV SET ISNODALANO=NULL WHERE ISNODALANO=1");
  run();
  EXPECT_EQ(pricing.callsOf("GetPasizmaksa"),
            (Calls{"GetPasizmaksa(" + std::to_string(a) + ",0," + date(5) + ",101,5,8)",
                   "GetPasizmaksa(" + std::to_string(b) + ",0," + date(5) + ",101,4,4)",
                   "GetPasizmaksa(" + std::to_string(a) + ",0," + date(5) + ",101,3,8)"}));
  EXPECT_EQ(db.transferCost(first), 11.0);
}

TEST_F(TransfersFifoTest, DatesThatDifferOnlyInTimeDoNotShare) {
  const int g = db.goods();
  db.transfer({.date = at(5, 9), .goods = g, .qty = 5});
  db.transfer({.date = at(5, 15), .goods = g, .qty = 3});
  run();
  EXPECT_EQ(pricing.callsOf("GetPasizmaksa").size(), 2u);
}

TEST_F(TransfersFifoTest, ASerialOrFirstSaleLineDoesNotBecomeTheRememberedLine) {
  settings.serialLookup = true;
  pricing.fifo = [](int, int, DateTime, double, double qty, double) { return qty * 2; };
  const int g = db.goods();
  db.receipt({.date = day(1), .goods = g, .price = 40, .serial = 11});
  const int five = db.transfer({.date = day(5), .goods = g, .qty = 5});
  const int unit = db.transfer({.date = day(5), .goods = g, .qty = 1, .serial = 11});
  const int two = db.transfer({.date = day(5), .goods = g, .qty = 2});
  run();
  EXPECT_EQ(pricing.callsOf("GetPasizmaksa").size(), 1u);
  EXPECT_EQ(db.transferCost(five), 10.0);
  EXPECT_EQ(db.transferCost(unit), 40.0);
  EXPECT_EQ(db.transferCost(two), 10.0);
}

struct RuleRow {
  const char* name;
  bool serialLookup, firstSale, lastPrice;
  int serial;
  double qty;
  double cost;
  Calls calls;
};
void PrintTo(const RuleRow& row, std::ostream* os) { *os << row.name; }

// Transfers try the serial price first, then the first sale price, the last purchase price, FIFO.
const RuleRow kTransferRules[] = {
    {"serial wins over every option", true, true, true, 11, 1, 40, {}},
    {"serial record 10 falls to first sale", true, true, true, 10, 1, 12.1, {"TN_KlprecInfo"}},
    {"quantity 2 falls to last purchase", true, false, true, 11, 2, 33, {"GetPedIepCena"}},
    {"quantity 0.5 falls to FIFO", true, false, false, 11, 0.5, 11, {"PrecValid", "GetPasizmaksa"}},
    {"serial record without the option", false, false, false, 11, 1, 11, {"PrecValid", "GetPasizmaksa"}},
    {"first sale over last purchase", false, true, true, 0, 5, 12.1, {"TN_KlprecInfo"}},
    {"last purchase over FIFO", false, false, true, 0, 5, 33, {"GetPedIepCena"}},
    {"no receipt for the serial record gives 0", true, true, true, 12, 1, 0, {}},
};

class TransferRuleTest : public TransfersFifoTest, public ::testing::WithParamInterface<RuleRow> {};

TEST_P(TransferRuleTest, PricesFromTheFirstRuleThatApplies) {
  const RuleRow& row = GetParam();
  SCOPED_TRACE(row.name);
  settings.serialLookup = row.serialLookup;
  settings.firstSalePrice = row.firstSale;
  settings.lastPurchasePrice = row.lastPrice;
  const int g = db.goods();
  pricing.firstSalePrices[g] = 12.1;
  db.receipt({.date = day(1), .goods = g, .price = 50, .discount = -20, .serial = 11});
  db.receipt({.date = day(1), .goods = g, .price = 45, .serial = 10});
  const int line = db.transfer({.date = day(5), .goods = g, .qty = row.qty, .serial = row.serial});
  run();
  EXPECT_DOUBLE_EQ(db.transferCost(line), row.cost);
  EXPECT_EQ(callNames(), row.calls);
}

INSTANTIATE_TEST_SUITE_P(Rules, TransferRuleTest, ::testing::ValuesIn(kTransferRules));

TEST_F(TransfersFifoTest, LastPurchasePriceAsksAcrossAllDepartmentsForTheLinesDate) {
  settings.lastPurchasePrice = true;
  const int g = db.goods();
  db.transfer({.date = day(7), .from = 4, .goods = g, .qty = 5});
  run();
  EXPECT_EQ(pricing.callsOf("GetPedIepCena"), Calls{"GetPedIepCena(" + std::to_string(g) + ",4,0," + date(7) + ")"});
}

struct TaxRow {
  double firstSalePrice;
  double tax;
  double cost;
};

// 12.10 with 21 % tax is 10.00 without it; a tax of -100 would divide by zero and is written as 0.
const TaxRow kTaxRows[] = {{12.10, 21, 10.0}, {12.10, 0, 12.10}, {12.10, -100, 0.0}, {0.0, -100, 0.0}};

TEST_F(TransfersFifoTest, FirstSalePriceLosesItsTaxAndNeverWritesANonFinitePrice) {
  settings.firstSalePrice = true;
  std::vector<int> lines;
  for (const TaxRow& row : kTaxRows) {
    const int goods = db.goods();
    pricing.firstSalePrices[goods] = row.firstSalePrice;
    lines.push_back(db.transfer({.date = day(5), .goods = goods, .tax = row.tax}));
  }
  run();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(kTaxRows[i].tax);
    EXPECT_EQ(db.transferCost(lines[i]), kTaxRows[i].cost);
  }
}

TEST_F(TransfersFifoTest, ANonFiniteFifoPriceIsWrittenAsZeroAndPassedOnAsZero) {
  pricing.fifo = [](int, int, DateTime, double, double, double) { return std::numeric_limits<double>::quiet_NaN(); };
  const int g = db.goods();
  const int first = db.transfer({.date = day(5), .goods = g, .qty = 5});
  const int second = db.transfer({.date = day(5), .goods = g, .qty = 3});
  run();
  EXPECT_FALSE(db.isNull("SELECT CENA FROM O_PARPRC WHERE ISN=" + std::to_string(second)));
  EXPECT_EQ(db.transferCost(first), 0.0);
  EXPECT_EQ(db.transferCost(second), 0.0);
}

TEST_F(TransfersFifoTest, OnlyLinesWithoutCostAreSelectedInModeOne) {
  const int g = db.goods();
  const int priced = db.transfer({.date = day(5), .goods = g, .cost = 5.0});
  const int empty = db.transfer({.date = day(6), .goods = g, .cost = std::nullopt});
  const int zero = db.transfer({.date = day(7), .goods = g, .cost = 0.0});
  run();
  EXPECT_EQ(db.transferCost(priced), 5.0);
  EXPECT_EQ(db.transferCost(empty), 11.0);
  EXPECT_EQ(db.transferCost(zero), 11.0);
  EXPECT_EQ(history.history, (Calls{"+Aprēķinu pārvietošanu ...", "+", "~0/2", "~1/2", "+Pārvietošana piešķirta"}));
}

TEST_F(TransfersFifoTest, ModeTwoResetsThePeriodsLinesOneByOneAndPricesThemAgain) {
  settings.transfers = kAllAnew;
  settings.skipServices = true;
  const int g = db.goods();
  const int service = db.goods("Serviss", 0, std::string("T"));
  const int a = db.transfer({.date = day(5), .goods = g, .cost = 5.0});
  const int b = db.transfer({.date = day(9), .goods = g, .cost = std::nullopt});
  const int serviceLine = db.transfer({.date = day(9), .goods = service, .cost = 6.0});
  const int before = db.transfer({.date = makeDate(2026, 2, 28), .goods = g, .cost = 9.0});
  run();
  EXPECT_EQ(db.transferCost(a), 11.0);
  EXPECT_EQ(db.transferCost(b), 11.0);
  EXPECT_EQ(db.transferCost(serviceLine), 6.0);
  EXPECT_EQ(db.transferCost(before), 9.0);
  EXPECT_EQ(history.history, (Calls{"+Aprēķinu pārvietošanu ...", "+", "~Dzēšu 1", "~Dzēšu 2", "~0/2", "~1/2",
                                    "+Pārvietošana piešķirta"}));
  EXPECT_EQ(pricing.callsOf("PutInOperacija"), Calls{operationEntry("AUTO.IEP.SAD.", "PARV=2")});
}

}  // namespace
}  // namespace talvix::test
