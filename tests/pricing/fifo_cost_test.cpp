// GetPasizmaksa by hand: layers, the newest m units, the day's outflow taking the oldest n.
#include "pricing_fixture.h"

#include <cmath>
#include <limits>

namespace talvix::pricing {
namespace {

struct FifoCase {
  const char* scenario;
  int onDay;
  double stock, quantity, dayQuantity;
  double expected;
};

void expectPrices(PricingLibrary& library, int goods, int dept, const std::vector<FifoCase>& cases,
                  DateTime (*day)(int)) {
  for (const FifoCase& c : cases) {
    SCOPED_TRACE(c.scenario);
    std::vector<std::string> list;
    EXPECT_NEAR(library.GetPasizmaksa(goods, dept, day(c.onDay), c.stock, c.quantity, c.dayQuantity, list),
                c.expected, 1e-12);
  }
}

TEST_F(PricingTest, FifoOverThreeReceiptsCrossesLayerBoundaries) {
  const int g = db.goods();
  db.receipt({.date = day(1), .dept = 1, .goods = g, .qty = 10, .price = 1});
  db.receipt({.date = day(2), .dept = 1, .goods = g, .qty = 10, .price = 2});
  db.receipt({.date = day(3), .dept = 1, .goods = g, .qty = 10, .price = 3});
  db.receipt({.date = day(3), .dept = 2, .goods = g, .qty = 50, .price = 100});  // another department
  db.receipt({.date = day(7), .dept = 1, .goods = g, .qty = 50, .price = 100});  // after every priced day
  db.issue({.date = day(4), .dept = 1, .goods = g, .qty = 15});
  db.issue({.date = day(5), .dept = 1, .goods = g, .qty = 10});

  expectPrices(*library, g, 1,
               {
                   // units newest first: [0,10)@3 [10,20)@2 [20,30)@1
                   {"15 of 30 take 10@1 and 5@2", 4, 30, 5, 15, 20.0 / 15},
                   {"line quantity stands in when the day's is 0", 4, 30, 15, 0, 20.0 / 15},
                   {"10 of the remaining 15 take 5@2 and 5@3", 5, 15, 10, 10, 2.5},
                   {"the last 5 are the newest layer", 6, 5, 5, 5, 3.0},
                   {"an outflow equal to all stock averages every layer", 4, 30, 30, 30, 2.0},
                   {"no outflow: the newest layer's cost", 4, 30, 0, 0, 3.0},
                   {"a returned line (negative quantity): the newest layer's cost", 4, 30, -2, 0, 3.0},
                   {"before the first receipt there is no layer", 0, 10, 5, 5, 0.0},
               },
               &PricingTest::day);
}

TEST_F(PricingTest, OutflowLargerThanStockPricesMissingUnitsAtTheOldestCost) {
  const int g = db.goods();
  db.receipt({.date = day(1), .dept = 1, .goods = g, .qty = 4, .price = 2});
  db.receipt({.date = day(2), .dept = 1, .goods = g, .qty = 3, .price = 5});
  expectPrices(*library, g, 1,
               {
                   // [0,3)@5 [3,7)@2, missing [7,m)@2
                   {"10 out of a stock of 7", 3, 7, 10, 10, (15 + 8 + 6) / 10.0},
                   {"10 out of a claimed stock of 12", 3, 12, 10, 10, (5 + 8 + 10) / 10.0},
                   {"negative stock counts as none", 3, -5, 3, 3, 5.0},
                   {"S = 0 prices a goods-balance line with the newest D units", 3, 0, 4, 0, (15 + 2) / 4.0},
                   {"S = 0 and D = 2 within the newest layer", 3, 0, 9, 2, 5.0},
               },
               &PricingTest::day);
}

TEST_F(PricingTest, SameDayInflowsCountAndTimeOfDayDoesNotOrderThem) {
  const int g = db.goods();
  db.receipt({.date = day(1), .dept = 1, .goods = g, .qty = 10, .price = 1});
  db.receipt({.date = day(5) + 0.95, .dept = 1, .goods = g, .qty = 5, .price = 4});  // late on the day
  db.receipt({.date = day(6), .dept = 1, .goods = g, .qty = 5, .price = 40});        // the next day
  // Same day and kind: the higher key is newer, whatever the time.
  db.receipt({.date = day(8) + 0.9, .dept = 1, .goods = g, .qty = 5, .price = 7});
  db.receipt({.date = day(8) + 0.1, .dept = 1, .goods = g, .qty = 5, .price = 8});
  expectPrices(*library, g, 1,
               {
                   {"the day's receipt is the newest stock", 5, 5, 5, 5, 4.0},
                   {"the day's receipt counts in the stock walked", 5, 15, 5, 5, 1.0},
                   {"the higher key is newer on the same day", 8, 5, 5, 5, 8.0},
                   {"the lower key is older on the same day", 8, 10, 5, 5, 7.0},
               },
               &PricingTest::day);
  std::vector<std::string> list;
  EXPECT_EQ(library->GetPasizmaksa(g, 1, day(5) + 0.2, 5, 5, 5, list), 4.0) << "asked early in the day";
}

TEST_F(PricingTest, ReturnsAndPricedTransfersAreLayersUnpricedTransfersAreNot) {
  const int g = db.goods();
  const int oldest = db.receipt({.date = day(1), .dept = 1, .goods = g, .qty = 10, .price = 1});
  // One day, one line of each kind; newest first: return, transfer, receipt, goods balance.
  const int balance = db.balance({.date = day(2), .dept = 1, .goods = g, .qty = 2, .cost = 7});
  const int receipt = db.receipt({.date = day(2), .dept = 1, .goods = g, .qty = 3, .price = 4});
  const int transfer = db.transfer({.date = day(2), .from = 2, .to = 1, .goods = g, .qty = 2, .cost = 6});
  const int ret = db.returned({.date = day(2), .dept = 1, .goods = g, .qty = 1, .cost = 9, .fromWhat = 1});
  // Not layers: unpriced transfers in, an unconfirmed balance, zero quantity, a transfer out.
  db.transfer({.date = day(2), .from = 2, .to = 1, .goods = g, .qty = 3, .cost = 0.0});
  db.transfer({.date = day(2), .from = 2, .to = 1, .goods = g, .qty = 3, .cost = std::nullopt});
  db.balance({.date = day(2), .dept = 1, .goods = g, .qty = 4, .cost = 50, .unconfirmed = "T"});
  db.returned({.date = day(2), .dept = 1, .goods = g, .qty = 0, .cost = 70});
  db.transfer({.date = day(2), .from = 1, .to = 3, .goods = g, .qty = 1, .cost = 80});

  expectPrices(*library, g, 1,
               {
                   // [0,1)@9 [1,3)@6 [3,6)@4 [6,8)@7 [8,18)@1
                   {"the oldest 2 of 4", 2, 4, 2, 2, (6 + 4) / 2.0},
                   {"the newest unit is the return", 2, 1, 1, 1, 9.0},
                   {"all 18", 2, 18, 18, 18, (9 + 12 + 12 + 14 + 10) / 18.0},
                   {"the balance line sits between receipt and the older day", 2, 8, 3, 3, (4 + 14) / 3.0},
               },
               &PricingTest::day);

  // One line per layer the outflow drew on, appended to what the list held.
  std::vector<std::string> list{"kept"};
  library->GetPasizmaksa(g, 1, day(2), 4, 2, 2, list);
  const std::string d2 = formatIsoDate(day(2));
  EXPECT_EQ(list, (std::vector<std::string>{"kept", d2 + " O_PARPRC " + std::to_string(transfer) + " 1@6",
                                            d2 + " O_PRECE " + std::to_string(receipt) + " 1@4"}));
  list.clear();
  library->GetPasizmaksa(g, 1, day(2), 20, 4, 4, list);  // 2 units older than any layer
  EXPECT_EQ(list, (std::vector<std::string>{formatIsoDate(day(1)) + " O_PRECE " + std::to_string(oldest) + " 4@1"}));
  list.clear();
  library->GetPasizmaksa(g, 1, day(2), 1, 1, 1, list);
  EXPECT_EQ(list, (std::vector<std::string>{d2 + " O_ATGPRC " + std::to_string(ret) + " 1@9"}));
  (void)balance;
}

}  // namespace
}  // namespace talvix::pricing
