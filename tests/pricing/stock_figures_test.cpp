// PrecValid, ApgrozDaudzums and GetPedIepCena by hand.
#include "pricing_fixture.h"

namespace talvix::pricing {
namespace {

struct FigureCase {
  const char* scenario;
  int dept;
  DateTime date;
  double precValid;
  double apgrozDaudzums;
};

TEST_F(PricingTest, StockFiguresAroundADayWithConfirmedAndUnconfirmedBalances) {
  const int g = db.goods();
  const int other = db.goods();
  db.receipt({.date = day(1), .dept = 1, .goods = g, .qty = 10, .price = 1});
  db.receipt({.date = day(1), .dept = 1, .goods = other, .qty = 100, .price = 1});
  db.issue({.date = day(2), .dept = 1, .goods = g, .qty = 3});
  db.transfer({.date = day(2), .from = 1, .to = 2, .goods = g, .qty = 1});
  // Day 3: two confirmed balances (NULL and '' flags), one unconfirmed; every line counts, priced or not.
  db.balance({.date = day(3), .dept = 1, .goods = g, .qty = 5, .cost = 2});
  db.balance({.date = day(3) + 0.5, .dept = 1, .goods = g, .qty = 1.5, .cost = 0.0, .unconfirmed = ""});
  db.balance({.date = day(3), .dept = 1, .goods = g, .qty = 7, .cost = 2, .unconfirmed = "T"});
  db.balance({.date = day(3), .dept = 2, .goods = g, .qty = 40, .cost = 2});
  db.receipt({.date = day(3) + 0.99, .dept = 1, .goods = g, .qty = 2, .price = 0});
  db.transfer({.date = day(3), .from = 2, .to = 1, .goods = g, .qty = 4, .cost = std::nullopt});
  db.returned({.date = day(3), .dept = 1, .goods = g, .qty = 1, .fromWhat = 1});
  db.issue({.date = day(3), .dept = 1, .goods = g, .qty = 6});
  db.issue({.date = day(4), .dept = 1, .goods = g, .qty = -2});  // goods brought back

  const std::vector<FigureCase> cases = {
      {"before anything", 1, day(0), 0, 0},
      {"the day's receipt counts, its outflows not yet", 1, day(1), 10, 0},
      {"outflows of the day do not count", 1, day(2), 10, 0},
      {"the day's receipts, transfers in and returns; its balances apart", 1, day(3), 10 + 7 - 4, 6.5},
      {"asked late in the day", 1, day(3) + 0.75, 13, 6.5},
      {"balances of earlier days and the day's outflows count the next day", 1, day(4), 23.5 - 10, 0},
      {"a negative issue brings goods back", 1, day(5), 13.5 + 2, 0},
      {"the receiving department of a transfer", 2, day(3), 1, 40},
      {"a department that never held the goods", 7, day(5), 0, 0},
  };
  for (const FigureCase& c : cases) {
    SCOPED_TRACE(c.scenario);
    EXPECT_DOUBLE_EQ(library->PrecValid(g, c.dept, c.date), c.precValid);
    EXPECT_DOUBLE_EQ(library->ApgrozDaudzums(g, c.dept, c.date), c.apgrozDaudzums);
  }
  EXPECT_DOUBLE_EQ(library->PrecValid(other, 1, day(5)), 100);
}

struct LastPriceCase {
  const char* scenario;
  int dept;
  int mode;
  DateTime date;
  double expected;
};

TEST_F(PricingTest, LastReceiptPriceInEveryDepartmentOrInOne) {
  const int g = db.goods();
  db.receipt({.date = day(1), .dept = 1, .goods = g, .qty = 1, .price = 5});
  db.receipt({.date = day(2), .dept = 2, .goods = g, .qty = 1, .price = 8, .discount = -25});
  db.receipt({.date = day(3), .dept = 1, .goods = g, .qty = 1, .price = 0});                      // price 0
  db.receipt({.date = day(3), .dept = 1, .goods = g, .qty = 1, .price = 9, .discount = -100});    // effectively 0
  db.receipt({.date = day(4) + 0.9, .dept = 3, .goods = g, .qty = 1, .price = 11, .discount = std::nullopt});
  db.receipt({.date = day(4) + 0.1, .dept = 3, .goods = g, .qty = 1, .price = 12});  // same day, higher key
  db.receipt({.date = day(6), .dept = 1, .goods = g, .qty = 1, .price = 20});
  db.receipt({.date = day(7), .dept = 1, .goods = g, .qty = 0, .price = -3});  // not 0: it counts

  const std::vector<LastPriceCase> cases = {
      {"nothing received yet", 1, 0, day(0), 0.0},
      {"mode 0 on day 2 finds department 2", 1, 0, day(2), 6.0},
      {"mode 1 keeps to department 1", 1, 1, day(3), 5.0},
      {"mode 0 skips prices that are 0", 1, 0, day(3), 6.0},
      {"the higher key wins within a day", 1, 0, day(4), 12.0},
      {"and is seen early on that day", 2, 0, day(4) + 0.01, 12.0},
      {"mode 2 also keeps to one department", 2, 2, day(5), 6.0},
      {"a later receipt is not yet seen", 1, 1, day(5), 5.0},
      {"the day's receipt counts", 1, 1, day(6), 20.0},
      {"a negative price is not 0", 1, 1, day(7), -3.0},
      {"a department without receipts", 9, 1, day(7), 0.0},
  };
  for (const LastPriceCase& c : cases) {
    SCOPED_TRACE(c.scenario);
    EXPECT_DOUBLE_EQ(library->GetPedIepCena(g, c.dept, c.mode, c.date), c.expected);
  }
}

}  // namespace
}  // namespace talvix::pricing
