// GetVidSvPasizmaksa by hand: the replay day by day, which lines count, and no stale results.
#include "data/query.h"
#include "pricing_fixture.h"

namespace talvix::pricing {
namespace {

struct AverageCase {
  const char* scenario;
  int dept;
  int onDay;
  double expected;
};

class PricingAverageTest : public PricingTest {
 protected:
  void expectAverages(int goods, const std::vector<AverageCase>& cases) {
    auto average = library->newVidSvPasizm();
    for (const AverageCase& c : cases) {
      SCOPED_TRACE(c.scenario);
      // The two flags never change the result.
      for (const bool transfer : {false, true})
        for (const bool single : {false, true})
          EXPECT_NEAR(average->GetVidSvPasizmaksa(goods, c.dept, day(c.onDay), transfer, single), c.expected, 1e-12);
    }
  }
};

TEST_F(PricingAverageTest, ReceiptsOutflowsToZeroAndANewReceipt) {
  const int g = db.goods();
  db.receipt({.date = day(1), .dept = 1, .goods = g, .qty = 10, .price = 2});
  db.receipt({.date = day(2), .dept = 1, .goods = g, .qty = 10, .price = 4});
  db.issue({.date = day(3), .dept = 1, .goods = g, .qty = 12});
  db.transfer({.date = day(3), .from = 1, .to = 2, .goods = g, .qty = 8, .cost = 3});
  db.receipt({.date = day(4), .dept = 1, .goods = g, .qty = 5, .price = 7});
  db.receipt({.date = day(5), .dept = 1, .goods = g, .qty = 5, .price = 9});
  db.issue({.date = day(6), .dept = 1, .goods = g, .qty = 5});
  db.receipt({.date = day(7), .dept = 1, .goods = g, .qty = 15, .price = 1});
  expectAverages(g, {
                        {"before any inflow", 1, 0, 0.0},
                        {"one receipt", 1, 1, 2.0},
                        {"two receipts", 1, 2, 3.0},
                        {"outflows to zero keep the average", 1, 3, 3.0},
                        {"a receipt into an empty stock sets its cost", 1, 4, 7.0},
                        {"then averages", 1, 5, 8.0},
                        {"an outflow to 5 units, then 15 more", 1, 7, (5 * 8.0 + 15 * 1.0) / 20},
                        {"the transfer in is priced at 3 in the other department", 2, 3, 3.0},
                        {"a department that never received the goods", 9, 7, 0.0},
                    });
}

TEST_F(PricingAverageTest, EachDaysInflowsComeBeforeItsOutflows) {
  const int g = db.goods();
  db.receipt({.date = day(1), .dept = 1, .goods = g, .qty = 10, .price = 2});
  db.issue({.date = day(2), .dept = 1, .goods = g, .qty = 10});                 // written first,
  db.receipt({.date = day(2) + 0.9, .dept = 1, .goods = g, .qty = 10, .price = 4});  // but replayed after
  // A history that starts with an outflow: the stock is negative when the first inflow comes.
  db.issue({.date = day(1), .dept = 2, .goods = g, .qty = 5});
  db.receipt({.date = day(2), .dept = 2, .goods = g, .qty = 3, .price = 4});
  db.receipt({.date = day(3), .dept = 2, .goods = g, .qty = 4, .price = 10});
  db.receipt({.date = day(4), .dept = 2, .goods = g, .qty = 4, .price = 20});
  expectAverages(g, {
                        {"the day's receipt joins the 10 units still in stock", 1, 2, 3.0},
                        {"negative stock: the inflow's own cost", 2, 2, 4.0},
                        {"still not above zero", 2, 3, 10.0},
                        {"2 units at 10, then 4 at 20", 2, 4, (2 * 10.0 + 4 * 20.0) / 6},
                    });
}

TEST_F(PricingAverageTest, WhichLinesCount) {
  const int g = db.goods();
  db.receipt({.date = day(1), .dept = 1, .goods = g, .qty = 10, .price = 2});
  db.returned({.date = day(2), .dept = 1, .goods = g, .qty = 10, .cost = 4, .fromWhat = 2});
  db.returned({.date = day(2), .dept = 1, .goods = g, .qty = 10, .cost = 100, .fromWhat = 1});
  db.returned({.date = day(2), .dept = 1, .goods = g, .qty = 10, .cost = 100, .fromWhat = std::nullopt});
  db.returned({.date = day(2), .dept = 1, .goods = g, .qty = 10, .cost = 0.0, .fromWhat = 2});
  db.transfer({.date = day(3), .from = 2, .to = 1, .goods = g, .qty = 20, .cost = 6});
  db.transfer({.date = day(3), .from = 2, .to = 1, .goods = g, .qty = 20, .cost = std::nullopt});
  db.balance({.date = day(4), .dept = 1, .goods = g, .qty = 10, .cost = 8, .unconfirmed = ""});
  db.balance({.date = day(4), .dept = 1, .goods = g, .qty = 10, .cost = 100, .unconfirmed = "T"});
  db.receipt({.date = day(5), .dept = 1, .goods = g, .qty = 10, .price = 0});
  db.receipt({.date = day(5), .dept = 1, .goods = g, .qty = 10, .price = 10, .discount = -50});
  expectAverages(g, {
                        {"returns from origin 2 count, others and unpriced ones not", 1, 2, 3.0},
                        {"priced transfers in count", 1, 3, (20 * 3.0 + 20 * 6.0) / 40},
                        {"confirmed goods balances count", 1, 4, (40 * 4.5 + 10 * 8.0) / 50},
                        {"receipts at their effective price; unpriced ones not", 1, 5, (50 * 5.2 + 10 * 5.0) / 60},
                    });
}

TEST_F(PricingAverageTest, OneObjectSeesCostsTheToolWroteAndHasNotCommitted) {
  const int g = db.goods();
  db.receipt({.date = day(1), .dept = 1, .goods = g, .qty = 10, .price = 2});
  const int line = db.transfer({.date = day(2), .from = 2, .to = 1, .goods = g, .qty = 10, .cost = 0.0});
  auto average = library->newVidSvPasizm();
  EXPECT_EQ(average->GetVidSvPasizmaksa(g, 1, day(2), true, false), 2.0);

  Query update(library->mainFormDati().PRECES_DB);
  update.setSql("UPDATE O_PARPRC SET CENA = :CENA WHERE ISN=:ISN");
  update.setDouble("CENA", 4);
  update.setInteger("ISN", line);
  update.execSql();
  EXPECT_EQ(average->GetVidSvPasizmaksa(g, 1, day(2), true, false), 3.0);

  library->mainFormDati().PRECES_DB_TRAN.deactivate();
  EXPECT_EQ(average->GetVidSvPasizmaksa(g, 1, day(2), true, false), 2.0);
}

TEST_F(PricingAverageTest, OutlivesTheLibraryThatMadeIt) {
  const int g = db.goods();
  db.receipt({.date = day(1), .dept = 1, .goods = g, .qty = 10, .price = 2});
  auto average = library->newVidSvPasizm();
  library.reset();
  EXPECT_EQ(average->GetVidSvPasizmaksa(g, 1, day(1), false, true), 2.0);
}

}  // namespace
}  // namespace talvix::pricing
