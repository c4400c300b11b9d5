// The stock figure of a FIFO price: PrecValid always, ApgrozDaudzums once when a confirmed
// goods-balance document of the goods stands in the department on that very date.
#include "ledger/stock_quantity.h"
#include "support/run_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

namespace talvix::test {
namespace {

DateTime mar(int d) { return makeDate(2026, 3, d); }

struct Row {
  const char* name;
  std::function<void(TestDatabase&, int goods)> documents;
  bool added;  // whether ApgrozDaudzums is asked and added
};
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

// Asked for goods g in department 2 on 5 March.
const Row kRows[] = {
    {"no balance document", [](TestDatabase&, int) {}, false},
    {"confirmed, NEAPSTIPR NULL",
     [](TestDatabase& db, int g) { db.balance({.date = mar(5), .dept = 2, .goods = g}); }, true},
    {"confirmed, NEAPSTIPR empty",
     [](TestDatabase& db, int g) {
       db.balance({.date = mar(5), .dept = 2, .goods = g, .unconfirmed = std::string("")});
     },
     true},
    {"confirmed, NEAPSTIPR another value",
     [](TestDatabase& db, int g) {
       db.balance({.date = mar(5), .dept = 2, .goods = g, .unconfirmed = std::string("N")});
     },
     true},
    {"not confirmed, NEAPSTIPR T",
     [](TestDatabase& db, int g) {
       db.balance({.date = mar(5), .dept = 2, .goods = g, .unconfirmed = std::string("T")});
     },
     false},
    {"another department", [](TestDatabase& db, int g) { db.balance({.date = mar(5), .dept = 1, .goods = g}); },
     false},
    {"the day before", [](TestDatabase& db, int g) { db.balance({.date = mar(4), .dept = 2, .goods = g}); }, false},
    {"another goods",
     [](TestDatabase& db, int) { db.balance({.date = mar(5), .dept = 2, .goods = db.goods("Cita")}); }, false},
    {"two confirmed documents add once",
     [](TestDatabase& db, int g) {
       db.balance({.date = mar(5), .dept = 2, .goods = g});
       db.balance({.date = mar(5), .dept = 2, .goods = g, .qty = 4});
     },
     true},
};

class StockQuantityTest : public ::testing::TestWithParam<Row>, public RunFixture {};

TEST_P(StockQuantityTest, AddsTheBalanceFigureOnlyForAConfirmedDocumentThatDay) {
  const Row& row = GetParam();
  pricing.precValid = 101;
  pricing.apgrozDaudzums = 7;
  const int g = db.goods();
  row.documents(db, g);
  RunContext ctx = context();
  const double stock = StockQuantity(ctx.pricing, g, 2, mar(5));
  const std::string key = std::to_string(g) + ",2," + formatIsoDate(mar(5));
  std::vector<std::string> expected{"PrecValid(" + key + ")"};
  if (row.added) expected.push_back("ApgrozDaudzums(" + key + ")");
  EXPECT_EQ(pricing.calls, expected);
  EXPECT_EQ(stock, row.added ? 108.0 : 101.0);
}

INSTANTIATE_TEST_SUITE_P(Documents, StockQuantityTest, ::testing::ValuesIn(kRows));

TEST(StockQuantityServices, ABalanceOfAServiceCountsWhateverTheServicesFilter) {
  RunFixture f;
  const int service = f.db.goods("Serviss", 0, std::string("P"));
  f.db.balance({.date = mar(5), .dept = 2, .goods = service});
  f.settings.skipServices = true;
  f.state.ServicesFilter = kServicesFilterText;
  RunContext ctx = f.context();
  EXPECT_EQ(StockQuantity(ctx.pricing, service, 2, mar(5)), f.pricing.precValid + f.pricing.apgrozDaudzums);
}

}  // namespace
}  // namespace talvix::test
