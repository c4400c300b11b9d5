// Issues by FIFO: the five price rules in their order, the reuse of the last FIFO price, the cost of
// a negative line from an earlier sale to the same client, the reset of mode 2 and the progress.
#include "fifo/fifo_step_fixture.h"

#include <functional>

#include <ostream>

namespace talvix::test {
namespace {

using Calls = std::vector<std::string>;

using IssuesFifoTest = KindFifoTest<DocumentKind::Issue>;

TEST_F(IssuesFifoTest, TheLargestLineCallsTheOthersShareAndANegativeLineTakesTheClientsSaleCost) {
  pricing.fifo = [](int, int, DateTime, double, double qty, double) { return qty * 2; };
  const int g = db.goods();
  const int minusOne = db.issue({.date = day(5), .goods = g, .qty = -1, .price = 10, .client = 7});
  const int two = db.issue({.date = day(5), .goods = g, .qty = 2, .price = 10, .client = 7});
  const int five = db.issue({.date = day(5), .goods = g, .qty = 5, .price = 10, .client = 7});
  run();
  const std::string key = std::to_string(g) + ",1," + date(5);
  EXPECT_EQ(pricing.calls, (Calls{operationEntry("AUTO IEP.SAD.", "IZR=1"), "PrecValid(" + key + ")",
                                  "GetPasizmaksa(" + key + ",101,5,6)"}));
  EXPECT_EQ(db.issueCost(five), 10.0);
  EXPECT_EQ(db.issueCost(two), 10.0);
  EXPECT_EQ(db.issueCost(minusOne), 10.0);
}

TEST_F(IssuesFifoTest, DatesThatDifferOnlyInTimeDoNotShare) {
  const int g = db.goods();
  db.issue({.date = at(5, 9), .goods = g, .qty = 5});
  db.issue({.date = at(5, 15), .goods = g, .qty = 3});
  run();
  EXPECT_EQ(pricing.callsOf("GetPasizmaksa"),
            (Calls{"GetPasizmaksa(" + std::to_string(g) + ",1," + formatIsoDate(at(5, 9)) + ",101,5,5)",
                   "GetPasizmaksa(" + std::to_string(g) + ",1," + formatIsoDate(at(5, 15)) + ",101,3,3)"}));
}

TEST_F(IssuesFifoTest, OnlyTheImmediatelyPrecedingLineIsRemembered) {
  // A header without a department reads as department 0 but sorts before department 0.
  const int a = db.goods("A"), b = db.goods("B");
  db.issue({.date = day(5), .goods = a, .qty = 5});
  db.issue({.date = day(5), .goods = b, .qty = 4});
  db.issue({.date = day(5), .dept = 0, .goods = a, .qty = 3});
  db.exec("UPDATE O_PAVOUT SET ISNODALA=NULL WHERE ISNODALA=1");
  run();
  EXPECT_EQ(pricing.callsOf("GetPasizmaksa").size(), 3u);
}

TEST_F(IssuesFifoTest, TheStockFigureCountsAConfirmedBalanceDocumentOfThatDay) {
  const int g = db.goods();
  db.issue({.date = day(5), .dept = 2, .goods = g, .qty = 5});
  db.balance({.date = day(5), .dept = 2, .goods = g, .qty = 1, .unconfirmed = std::string("")});
  run();
  const std::string key = std::to_string(g) + ",2," + date(5);
  EXPECT_EQ(pricing.calls, (Calls{operationEntry("AUTO IEP.SAD.", "IZR=1"), "PrecValid(" + key + ")",
                                  "ApgrozDaudzums(" + key + ")", "GetPasizmaksa(" + key + ",108,5,5)"}));
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

// Issues try the first sale price first, then the serial price, the last purchase price, the
// client's sale (negative lines) and FIFO.
const RuleRow kIssueRules[] = {
    {"first sale wins over every option", true, true, true, 11, 1, 12.1, {"TN_KlprecInfo"}},
    {"first sale also for a negative line", false, true, true, 0, -1, 12.1, {"TN_KlprecInfo"}},
    {"serial record 11, quantity 1", true, false, true, 11, 1, 40, {}},
    {"serial record 10 falls to last purchase", true, false, true, 10, 1, 33, {"GetPedIepCena"}},
    {"quantity 2 falls to FIFO", true, false, false, 11, 2, 11, {"PrecValid", "GetPasizmaksa"}},
    {"quantity 0.5 falls to FIFO", true, false, false, 11, 0.5, 11, {"PrecValid", "GetPasizmaksa"}},
    {"no receipt for the serial record gives 0", true, false, true, 12, 1, 0, {}},
    {"last purchase also for a negative line", false, false, true, 0, -1, 33, {"GetPedIepCena"}},
    {"a negative line asks the client's sales", false, false, false, 0, -1, 0, {}},
};

class IssueRuleTest : public IssuesFifoTest, public ::testing::WithParamInterface<RuleRow> {};

TEST_P(IssueRuleTest, PricesFromTheFirstRuleThatApplies) {
  const RuleRow& row = GetParam();
  SCOPED_TRACE(row.name);
  settings.serialLookup = row.serialLookup;
  settings.firstSalePrice = row.firstSale;
  settings.lastPurchasePrice = row.lastPrice;
  const int g = db.goods();
  pricing.firstSalePrices[g] = 12.1;
  db.receipt({.date = day(1), .goods = g, .price = 50, .discount = -20, .serial = 11});
  db.receipt({.date = day(1), .goods = g, .price = 45, .serial = 10});
  const int line = db.issue({.date = day(5), .goods = g, .qty = row.qty, .price = 10, .serial = row.serial});
  run();
  EXPECT_DOUBLE_EQ(db.issueCost(line), row.cost);
  EXPECT_EQ(callNames(), row.calls);
}

INSTANTIATE_TEST_SUITE_P(Rules, IssueRuleTest, ::testing::ValuesIn(kIssueRules));

TEST_F(IssuesFifoTest, FirstSalePriceLosesItsTaxAndNeverWritesANonFinitePrice) {
  struct Row {
    double firstSalePrice, tax, cost;
  };
  const Row rows[] = {{12.10, 21, 10.0}, {12.10, 0, 12.10}, {12.10, -100, 0.0}, {0.0, -100, 0.0}};
  settings.firstSalePrice = true;
  std::vector<int> lines;
  for (const Row& row : rows) {
    const int goods = db.goods();
    pricing.firstSalePrices[goods] = row.firstSalePrice;
    lines.push_back(db.issue({.date = day(5), .goods = goods, .tax = row.tax}));
  }
  run();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(rows[i].tax);
    EXPECT_EQ(db.issueCost(lines[i]), rows[i].cost);
  }
}

// The negative line priced: client 7 on 10 March, sale price CENA x (PIECENOJ x 0.01 + 1).
struct ClientSaleRow {
  const char* name;
  double price, markup;
  int client;
  std::function<void(TestDatabase&, int goods)> history;
  double cost;
};
void PrintTo(const ClientSaleRow& row, std::ostream* os) { *os << row.name; }

DateTime feb(int d) { return makeDate(2026, 2, d); }
DateTime mar(int d) { return makeDate(2026, 3, d); }

const ClientSaleRow kClientSales[] = {
    {"an earlier sale at the same price gives its cost", 10, 0, 7,
     [](TestDatabase& db, int g) { db.issue({.date = feb(20), .goods = g, .cost = 6.0, .price = 10, .client = 7}); },
     6},
    {"an earlier matching sale without cost gives 0", 10, 0, 7,
     [](TestDatabase& db, int g) {
       db.issue({.date = feb(20), .goods = g, .cost = std::nullopt, .price = 10, .client = 7});
       db.balance({.date = feb(1), .goods = g, .cost = 4.0});
     },
     0},
    {"10.005 matches a sale at 10.00", 10.005, 0, 7,
     [](TestDatabase& db, int g) { db.issue({.date = feb(20), .goods = g, .cost = 6.0, .price = 10, .client = 7}); },
     6},
    {"10.05 does not match a sale at 10.00", 10.05, 0, 7,
     [](TestDatabase& db, int g) {
       db.issue({.date = feb(20), .goods = g, .cost = 6.0, .price = 10, .client = 7});
       db.balance({.date = feb(1), .goods = g, .cost = 4.0});
     },
     4},
    {"9.00 with 10 % markup matches a sale at 9.90", 9, 10, 7,
     [](TestDatabase& db, int g) { db.issue({.date = feb(20), .goods = g, .cost = 6.0, .price = 9.9, .client = 7}); },
     6},
    {"the earliest matching sale wins", 10, 0, 7,
     [](TestDatabase& db, int g) {
       db.issue({.date = feb(25), .goods = g, .cost = 8.0, .price = 10, .client = 7});
       db.issue({.date = feb(20), .goods = g, .cost = 6.0, .price = 10, .client = 7});
     },
     6},
    {"a sale on the same day counts", 10, 0, 7,
     [](TestDatabase& db, int g) { db.issue({.date = mar(10), .goods = g, .cost = 6.0, .price = 10, .client = 7}); },
     6},
    {"a later sale does not count", 10, 0, 7,
     [](TestDatabase& db, int g) {
       db.issue({.date = mar(11), .goods = g, .cost = 6.0, .price = 10, .client = 7});
       db.balance({.date = feb(1), .goods = g, .cost = 4.0});
     },
     4},
    {"another client's sale does not count", 10, 0, 7,
     [](TestDatabase& db, int g) {
       db.issue({.date = feb(20), .goods = g, .cost = 6.0, .price = 10, .client = 8});
       db.balance({.date = feb(1), .goods = g, .cost = 4.0});
     },
     4},
    {"the line does not match itself", 10, 0, 7,
     [](TestDatabase& db, int g) { db.balance({.date = feb(1), .goods = g, .cost = 4.0}); }, 4},
    {"without a client, the latest balance cost before the day in any department", 10, 0, 0,
     [](TestDatabase& db, int g) {
       db.issue({.date = feb(20), .goods = g, .cost = 6.0, .price = 10});
       db.balance({.date = feb(1), .dept = 1, .goods = g, .cost = 3.0});
       db.balance({.date = mar(5), .dept = 2, .goods = g, .cost = 4.0});
       db.balance({.date = mar(8), .dept = 1, .goods = g, .cost = 0.0});
       db.balance({.date = mar(10), .dept = 1, .goods = g, .cost = 9.0});
     },
     4},
    {"nothing to go by gives 0", 10, 0, 7, [](TestDatabase&, int) {}, 0},
};

class ClientSaleTest : public IssuesFifoTest, public ::testing::WithParamInterface<ClientSaleRow> {};

TEST_P(ClientSaleTest, PricesTheNegativeLine) {
  const ClientSaleRow& row = GetParam();
  SCOPED_TRACE(row.name);
  const int g = db.goods();
  row.history(db, g);
  const int line = db.issue({.date = mar(10), .goods = g, .qty = -1, .price = row.price, .markup = row.markup,
                             .client = row.client});
  run();
  EXPECT_DOUBLE_EQ(db.issueCost(line), row.cost);
  EXPECT_TRUE(pricing.callsOf("GetPasizmaksa").empty());
}

INSTANTIATE_TEST_SUITE_P(ClientSales, ClientSaleTest, ::testing::ValuesIn(kClientSales));

TEST_F(IssuesFifoTest, ModeTwoResetsThePeriodsLinesOneByOneAndPricesThemAgain) {
  settings.issues = kAllAnew;
  settings.skipServices = true;
  const int g = db.goods();
  const int service = db.goods("Serviss", 0, std::string("T"));
  const int a = db.issue({.date = day(5), .goods = g, .cost = 5.0});
  const int b = db.issue({.date = day(9), .goods = g, .cost = std::nullopt});
  const int serviceLine = db.issue({.date = day(9), .goods = service, .cost = 6.0});
  const int after = db.issue({.date = makeDate(2026, 4, 1), .goods = g, .cost = 9.0});
  run();
  EXPECT_EQ(db.issueCost(a), 11.0);
  EXPECT_EQ(db.issueCost(b), 11.0);
  EXPECT_EQ(db.issueCost(serviceLine), 6.0);
  EXPECT_EQ(db.issueCost(after), 9.0);
  EXPECT_EQ(history.history, (Calls{"+Aprēķinu izrakstīšanu ...", "+", "~Dzēšu 0", "~Dzēšu 1", "~0/2", "~1/2",
                                    "+Izrakstīšana sadalīta"}));
  EXPECT_EQ(history.repaints, 2);
  EXPECT_EQ(pricing.callsOf("PutInOperacija"), Calls{operationEntry("AUTO IEP.SAD.", "IZR=2")});
}

}  // namespace
}  // namespace talvix::test
