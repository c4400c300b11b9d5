// The day-quantity tables as a FIFO pass loads them: what each sums per goods, department and day,
// which rows the period and the services filter leave out, and that a new load replaces the old.
#include "run/fifo_run.h"
#include "support/run_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

namespace talvix::test {
namespace {

DateTime mar(int d) { return makeDate(2026, 3, d); }

class DayQuantityTest : public ::testing::Test, public RunFixture {
 protected:
  DayQuantityTest() {
    period(mar(1), mar(31));
    goodsKey = db.goods("Prece");
    serviceKey = db.goods("Serviss", 0, std::string("P"));
  }
  void load() {
    state.ServicesFilter = settings.skipServices ? kServicesFilterText : "";
    RunContext ctx = context();
    LoadDayQuantities(ctx);
  }
  int goodsKey = 0, serviceKey = 0;
};

enum class Table { Outflow, Balance };

struct Row {
  const char* name;
  std::function<void(TestDatabase&, int goods, int service)> documents;
  Table table;
  bool service;  // look up the service goods instead of the plain one
  int dept;
  DateTime date;
  double expected;
  bool skipServices = false;
};
void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

const Row kRows[] = {
    {"a transfer alone", [](TestDatabase& db, int g, int) { db.transfer({.date = mar(5), .goods = g, .qty = 5}); },
     Table::Outflow, false, 1, mar(5), 5},
    {"a transfer written before an issue",
     [](TestDatabase& db, int g, int) {
       db.transfer({.date = mar(5), .goods = g, .qty = 5});
       db.issue({.date = mar(5), .goods = g, .qty = 3});
     },
     Table::Outflow, false, 1, mar(5), 8},
    {"an issue written before a transfer",
     [](TestDatabase& db, int g, int) {
       db.issue({.date = mar(5), .goods = g, .qty = 3});
       db.transfer({.date = mar(5), .goods = g, .qty = 5});
     },
     Table::Outflow, false, 1, mar(5), 8},
    {"equal transfer and issue sums both count",
     [](TestDatabase& db, int g, int) {
       db.transfer({.date = mar(5), .goods = g, .qty = 4});
       db.issue({.date = mar(5), .goods = g, .qty = 4});
     },
     Table::Outflow, false, 1, mar(5), 8},
    {"every line of the key is summed, negative issues too",
     [](TestDatabase& db, int g, int) {
       db.transfer({.date = mar(5), .goods = g, .qty = 2});
       db.transfer({.date = mar(5), .goods = g, .qty = 3});
       db.issue({.date = mar(5), .goods = g, .qty = 4, .cost = 9.0});
       db.issue({.date = mar(5), .goods = g, .qty = -1});
     },
     Table::Outflow, false, 1, mar(5), 8},
    {"the receiving department has no outflow",
     [](TestDatabase& db, int g, int) { db.transfer({.date = mar(5), .from = 1, .to = 2, .goods = g, .qty = 5}); },
     Table::Outflow, false, 2, mar(5), 0},
    {"another department does not count",
     [](TestDatabase& db, int g, int) { db.issue({.date = mar(5), .dept = 3, .goods = g, .qty = 5}); },
     Table::Outflow, false, 1, mar(5), 0},
    {"another day does not count",
     [](TestDatabase& db, int g, int) { db.issue({.date = mar(6), .goods = g, .qty = 5}); }, Table::Outflow, false,
     1, mar(5), 0},
    {"a day before the period is not loaded",
     [](TestDatabase& db, int g, int) { db.issue({.date = makeDate(2026, 2, 28), .goods = g, .qty = 5}); },
     Table::Outflow, false, 1, makeDate(2026, 2, 28), 0},
    {"the last day of the period is loaded",
     [](TestDatabase& db, int g, int) { db.issue({.date = mar(31), .goods = g, .qty = 5}); }, Table::Outflow, false,
     1, mar(31), 5},
    {"services are left out with the filter",
     [](TestDatabase& db, int, int s) { db.issue({.date = mar(5), .goods = s, .qty = 5}); }, Table::Outflow, true, 1,
     mar(5), 0, true},
    {"services count without the filter",
     [](TestDatabase& db, int, int s) { db.issue({.date = mar(5), .goods = s, .qty = 5}); }, Table::Outflow, true, 1,
     mar(5), 5},
    {"balance documents are no outflow",
     [](TestDatabase& db, int g, int) { db.balance({.date = mar(5), .goods = g, .qty = 5}); }, Table::Outflow, false,
     1, mar(5), 0},
    {"balance lines with and without cost, confirmed or not",
     [](TestDatabase& db, int g, int) {
       db.balance({.date = mar(5), .goods = g, .qty = 2, .unconfirmed = std::string("T")});
       db.balance({.date = mar(5), .goods = g, .qty = 3, .cost = 4.0});
     },
     Table::Balance, false, 1, mar(5), 5},
    {"transfers and issues are no balance",
     [](TestDatabase& db, int g, int) {
       db.transfer({.date = mar(5), .goods = g, .qty = 5});
       db.issue({.date = mar(5), .goods = g, .qty = 3});
     },
     Table::Balance, false, 1, mar(5), 0},
    {"balances of services are left out with the filter",
     [](TestDatabase& db, int, int s) { db.balance({.date = mar(5), .goods = s, .qty = 5}); }, Table::Balance, true,
     1, mar(5), 0, true},
};

class DayQuantityRowTest : public DayQuantityTest, public ::testing::WithParamInterface<Row> {};

TEST_P(DayQuantityRowTest, SumsTheKey) {
  const Row& row = GetParam();
  settings.skipServices = row.skipServices;
  row.documents(db, goodsKey, serviceKey);
  load();
  DayQuantityTable& table = row.table == Table::Outflow ? state.sqlDienDaudzums : state.sqlDienDaudzAtlikumi;
  EXPECT_EQ(DayQuantity(table, row.service ? serviceKey : goodsKey, row.dept, row.date), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Keys, DayQuantityRowTest, ::testing::ValuesIn(kRows));

TEST_F(DayQuantityTest, EveryKeyOfAManyKeyTableIsSummedOnce) {
  for (int d = 1; d <= 31; ++d)
    for (int dept = 1; dept <= 3; ++dept) {
      db.transfer({.date = mar(d), .from = dept, .goods = goodsKey, .qty = static_cast<double>(d)});
      db.issue({.date = mar(d), .dept = dept, .goods = goodsKey, .qty = static_cast<double>(dept)});
    }
  load();
  EXPECT_EQ(state.sqlDienDaudzums.keys(), 93u);
  for (int d = 1; d <= 31; ++d)
    for (int dept = 1; dept <= 3; ++dept)
      EXPECT_EQ(DayQuantity(state.sqlDienDaudzums, goodsKey, dept, mar(d)), d + dept) << d << "/" << dept;
}

TEST_F(DayQuantityTest, ANewLoadReplacesThePreviousPeriod) {
  db.issue({.date = mar(5), .goods = goodsKey, .qty = 5});
  db.issue({.date = makeDate(2026, 4, 5), .goods = goodsKey, .qty = 2});
  load();
  period(makeDate(2026, 4, 1), makeDate(2026, 4, 30));
  load();
  EXPECT_EQ(DayQuantity(state.sqlDienDaudzums, goodsKey, 1, mar(5)), 0.0);
  EXPECT_EQ(DayQuantity(state.sqlDienDaudzums, goodsKey, 1, makeDate(2026, 4, 5)), 2.0);
}

TEST_F(DayQuantityTest, APeriodEndingBeforeItStartsLoadsNothing) {
  db.issue({.date = mar(5), .goods = goodsKey, .qty = 5});
  period(mar(31), mar(1));
  load();
  EXPECT_TRUE(state.sqlDienDaudzums.loaded());
  EXPECT_EQ(state.sqlDienDaudzums.keys(), 0u);
  EXPECT_EQ(state.sqlDienDaudzAtlikumi.keys(), 0u);
}

}  // namespace
}  // namespace talvix::test
