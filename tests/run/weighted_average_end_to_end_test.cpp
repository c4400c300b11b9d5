// A weighted-average run with the real pricing library: the costs written are the moving average
// of each goods and department after the day's inflows, worked out by hand below.
#include "pricing/library.h"
#include "registry/registry_store.h"
#include "run/weighted_average_run.h"
#include "support/recording_log.h"
#include "support/run_fixture.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

namespace talvix::test {
namespace {

DateTime mar(int d) { return makeDate(2026, 3, d); }

TEST(WeightedAverageEndToEnd, IssuesGetTheMovingAverageAfterTheDaysInflows) {
  TestDatabase db;
  const int g = db.goods("Prece G");
  // Department 1: 10 @ 2.00 and 10 @ 4.00 less 25 % give 20 units at 2.50; two issues empty the
  // stock; 4 @ 6.00 starts afresh at 6.00; a return of 2 @ 9.00 (origin 2) makes 2 @ 6 + 2 @ 9 = 7.50;
  // a return of origin 1 and a receipt into department 2 do not count.
  db.receipt({.date = mar(1), .dept = 1, .goods = g, .qty = 10, .price = 2});
  db.receipt({.date = mar(2), .dept = 1, .goods = g, .qty = 10, .price = 4, .discount = -25});
  db.receipt({.date = mar(5), .dept = 1, .goods = g, .qty = 4, .price = 6});
  db.receipt({.date = mar(6), .dept = 2, .goods = g, .qty = 100, .price = 50});
  db.returned({.date = mar(6), .dept = 1, .goods = g, .qty = 2, .cost = 9.0, .fromWhat = 2});
  db.returned({.date = mar(7), .dept = 1, .goods = g, .qty = 10, .cost = 100.0, .fromWhat = 1});
  struct Sale {
    DateTime date;
    double qty;
    double expected;
  };
  const std::vector<Sale> sales = {
      {mar(3), 5, 2.5}, {mar(4), 15, 2.5}, {mar(5), 2, 6.0}, {mar(6), 1, 7.5}, {mar(7), 1, 7.5},
  };
  std::vector<int> lines;
  for (const Sale& sale : sales)
    lines.push_back(db.issue({.date = sale.date, .dept = 1, .goods = g, .qty = sale.qty, .cost = 99.0}));

  auto library = pricing::MainFormDatiDll();
  library->mainFormDati().PRECES_DB.setDatabaseName(db.path());
  library->mainFormDati().connect();
  RegFileStore registry(db.dir().file("registry.reg"));
  RecordingLog log;
  CountingSleeper sleeper;
  SessionState state;
  RunSettings settings;
  settings.dateFrom = mar(1);
  settings.dateTo = mar(31);
  settings.issues = kAllAnew;
  RunContext ctx{settings, *library, log, registry, sleeper, state};
  WeightedAverageRun(ctx);

  for (std::size_t i = 0; i < sales.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(db.issueCost(lines[i]), sales[i].expected, 1e-12);
  }
  // The reset's counter took the place of the opening line.
  EXPECT_EQ(log.lines.front(), "Dzēšu 4");
  EXPECT_EQ(log.lines.back().rfind("Vidējā svērtā piešķiršana pabeigta Ilgums: ", 0), 0u) << log.lines.back();
}

}  // namespace
}  // namespace talvix::test
