// Returns: which lines are priced or reset, and the three stages of the lookup (a sale to the same
// client at the same price or the unit's receipt, the latest balance cost, the latest receipt).
#include "fifo/returns.h"
#include "fifo/fifo_step_fixture.h"

#include <functional>

#include <ostream>

namespace talvix::test {
namespace {

using Calls = std::vector<std::string>;

DateTime feb(int d) { return makeDate(2026, 2, d); }
DateTime mar(int d) { return makeDate(2026, 3, d); }

class ReturnsTest : public KindFifoTest<DocumentKind::Return> {
 protected:
  bool costIsNull(int line) { return db.isNull("SELECT IEP_CENA FROM O_ATGPRC WHERE ISN=" + std::to_string(line)); }
};

TEST_F(ReturnsTest, OriginOneIsCountedButNeverTouchedAndNullOriginIsPricedButNotReset) {
  settings.returns = kAllAnew;
  const int g = db.goods();
  db.receipt({.date = feb(1), .goods = g, .price = 20});
  const int oneWithout = db.returned({.date = mar(10), .goods = g, .cost = std::nullopt, .fromWhat = 1});
  const int onePriced = db.returned({.date = mar(10), .goods = g, .cost = 5.0, .fromWhat = 1});
  const int nullPriced = db.returned({.date = mar(10), .goods = g, .cost = 5.0, .fromWhat = std::nullopt});
  const int nullWithout = db.returned({.date = mar(10), .goods = g, .cost = std::nullopt, .fromWhat = std::nullopt});
  const int twoPriced = db.returned({.date = mar(10), .goods = g, .cost = 5.0, .fromWhat = 2});
  run();
  EXPECT_TRUE(costIsNull(oneWithout));
  EXPECT_EQ(db.returnCost(onePriced), 5.0);
  EXPECT_EQ(db.returnCost(nullPriced), 5.0);
  EXPECT_EQ(db.returnCost(nullWithout), 20.0);
  EXPECT_EQ(db.returnCost(twoPriced), 20.0);
  EXPECT_EQ(history.history, (Calls{"+Aprēķinu atgriešanu ...", "~1/3", "~2/3", "~3/3"}));
  EXPECT_EQ(pricing.calls, Calls{operationEntry("IEP.SAD.", "ATGR=2")});
}

TEST_F(ReturnsTest, ModeTwoLeavesServicesAndOtherPeriodsAlone) {
  settings.returns = kAllAnew;
  settings.skipServices = true;
  state.ServicesFilter = kServicesFilterText;
  const int g = db.goods();
  const int service = db.goods("Serviss", 0, std::string("T"));
  db.receipt({.date = feb(1), .goods = g, .price = 20});
  db.receipt({.date = feb(1), .goods = service, .price = 30});
  const int line = db.returned({.date = mar(10), .goods = g, .cost = 5.0});
  const int serviceLine = db.returned({.date = mar(10), .goods = service, .cost = 5.0});
  const int before = db.returned({.date = feb(27), .goods = g, .cost = 5.0});
  run();
  EXPECT_EQ(db.returnCost(line), 20.0);
  EXPECT_EQ(db.returnCost(serviceLine), 5.0);
  EXPECT_EQ(db.returnCost(before), 5.0);
}

// The return priced: goods g to department 1 on 10 March from client 7, one unit at 10.00.
struct StageRow {
  const char* name;
  std::function<void(TestDatabase&, int goods)> history;
  double cost;
  double price = 10, markup = 0;
  int client = 7;
  bool serialLookup = false;
  int serial = 0;
  double qty = 1;
};
void PrintTo(const StageRow& row, std::ostream* os) { *os << row.name; }

void soldAt10(TestDatabase& db, int g) {
  db.issue({.date = feb(20), .goods = g, .cost = 6.0, .price = 10, .client = 7});
}
void balanceCost4(TestDatabase& db, int g) { db.balance({.date = feb(1), .goods = g, .cost = 4.0}); }

const StageRow kStages[] = {
    {"a sale at 10.00 matches a return at 10.005", soldAt10, 6, 10.005},
    {"a return at 10.05 goes on to the balance cost",
     [](TestDatabase& db, int g) { soldAt10(db, g), balanceCost4(db, g); }, 4, 10.05},
    {"9.00 with 10 % markup matches a sale at 9.90",
     [](TestDatabase& db, int g) { db.issue({.date = feb(20), .goods = g, .cost = 6.0, .price = 9.9, .client = 7}); },
     6, 9, 10},
    {"a sale on the same day counts",
     [](TestDatabase& db, int g) { db.issue({.date = mar(10), .goods = g, .cost = 6.0, .price = 10, .client = 7}); },
     6},
    {"a matching sale without cost gives 0 and ends the search",
     [](TestDatabase& db, int g) {
       db.issue({.date = feb(20), .goods = g, .cost = std::nullopt, .price = 10, .client = 7});
       balanceCost4(db, g);
     },
     0},
    {"of two sales at the price, the first in the table counts, not the earliest",
     [](TestDatabase& db, int g) {
       soldAt10(db, g);
       db.issue({.date = feb(10), .goods = g, .cost = 7.0, .price = 10, .client = 7});
     },
     6},
    {"another client's sale does not count",
     [](TestDatabase& db, int g) {
       db.issue({.date = feb(20), .goods = g, .cost = 6.0, .price = 10, .client = 8});
       balanceCost4(db, g);
     },
     4},
    {"a return without client goes to the balance cost",
     [](TestDatabase& db, int g) { soldAt10(db, g), balanceCost4(db, g); }, 4, 10, 0, 0},
    {"balance cost and receipt of the same day do not count",
     [](TestDatabase& db, int g) {
       db.balance({.date = mar(10), .goods = g, .cost = 9.0});
       db.receipt({.date = mar(10), .goods = g, .price = 8});
     },
     0},
    {"the latest balance cost of any department",
     [](TestDatabase& db, int g) {
       db.balance({.date = feb(1), .dept = 1, .goods = g, .cost = 3.0});
       db.balance({.date = mar(5), .dept = 2, .goods = g, .cost = 4.0});
       db.balance({.date = mar(7), .dept = 1, .goods = g, .cost = 0.0});
       db.receipt({.date = mar(8), .goods = g, .price = 8});
     },
     4},
    {"without a balance cost, the latest receipt with its discount",
     [](TestDatabase& db, int g) {
       db.receipt({.date = feb(1), .goods = g, .price = 20});
       db.receipt({.date = mar(5), .dept = 2, .goods = g, .price = 25, .discount = 10});
       db.receipt({.date = mar(7), .goods = g, .price = 0});
       db.receipt({.date = mar(10), .goods = g, .price = 99});
     },
     27.5},
    {"nothing to go by gives 0", [](TestDatabase&, int) {}, 0},
    {"a unit the client bought takes its receipt price",
     [](TestDatabase& db, int g) {
       soldAt10(db, g);
       db.receipt({.date = feb(1), .goods = g, .price = 40, .serial = 11});
     },
     40, 10, 0, 7, true, 11},
    {"a unit the client never bought skips the receipt lookup",
     [](TestDatabase& db, int g) {
       db.receipt({.date = feb(1), .goods = g, .price = 40, .serial = 11});
       balanceCost4(db, g);
     },
     4, 10, 0, 7, true, 11},
    {"a unit without receipt skips the price comparison",
     [](TestDatabase& db, int g) { soldAt10(db, g), balanceCost4(db, g); }, 4, 10, 0, 7, true, 12},
    {"two units compare prices",
     [](TestDatabase& db, int g) {
       soldAt10(db, g);
       db.receipt({.date = feb(1), .goods = g, .price = 40, .serial = 11});
     },
     6, 10, 0, 7, true, 11, 2},
    {"serial record 10 compares prices",
     [](TestDatabase& db, int g) {
       soldAt10(db, g);
       db.receipt({.date = feb(1), .goods = g, .price = 40, .serial = 10});
     },
     6, 10, 0, 7, true, 10},
};

class ReturnStageTest : public ReturnsTest, public ::testing::WithParamInterface<StageRow> {};

TEST_P(ReturnStageTest, PricesTheReturn) {
  const StageRow& row = GetParam();
  SCOPED_TRACE(row.name);
  settings.serialLookup = row.serialLookup;
  const int g = db.goods();
  row.history(db, g);
  const int line = db.returned({.date = mar(10), .goods = g, .qty = row.qty, .cost = std::nullopt,
                                .price = row.price, .markup = row.markup, .client = row.client,
                                .serial = row.serial});
  run();
  EXPECT_FALSE(costIsNull(line));
  EXPECT_DOUBLE_EQ(db.returnCost(line), row.cost);
  EXPECT_EQ(pricing.calls.size(), 1u);  // the operation-log entry only
}

INSTANTIATE_TEST_SUITE_P(Stages, ReturnStageTest, ::testing::ValuesIn(kStages));

}  // namespace
}  // namespace talvix::test
