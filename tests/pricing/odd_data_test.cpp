// Whatever the database holds, every operation answers with a finite number.
#include "pricing_fixture.h"

#include <cmath>
#include <limits>

namespace talvix::pricing {
namespace {

TEST_F(PricingTest, EveryAnswerIsFiniteWhateverTheDataHolds) {
  const int g = db.goods();
  // A history that starts with outflows, with NULLs, zeros, negatives and a tax of -100.
  db.issue({.date = day(1), .dept = 1, .goods = g, .qty = 5, .cost = std::nullopt, .tax = -100});
  db.transfer({.date = day(1), .from = 1, .to = 2, .goods = g, .qty = 3, .cost = std::nullopt, .tax = -100});
  db.receipt({.date = day(2), .dept = 1, .goods = g, .qty = 0, .price = 4});
  db.receipt({.date = day(2), .dept = 1, .goods = g, .qty = -4, .price = 4, .discount = std::nullopt});
  db.receipt({.date = day(2), .dept = 1, .goods = g, .qty = 4, .price = 4, .discount = -100});
  const int nullQty = db.receipt({.date = day(3), .dept = 1, .goods = g, .qty = 1, .price = 2});
  db.exec("UPDATE O_PRECE SET DAUDZUMS = NULL, CENA = NULL WHERE ISN = " + std::to_string(nullQty));
  db.returned({.date = day(3), .dept = 1, .goods = g, .qty = -2, .cost = 3, .fromWhat = std::nullopt});
  db.returned({.date = day(3), .dept = 1, .goods = g, .qty = 2, .cost = -3, .fromWhat = 2});
  db.balance({.date = day(3), .dept = 1, .goods = g, .qty = -1, .cost = 6});
  db.transfer({.date = day(3), .from = 2, .to = 1, .goods = g, .qty = 3, .cost = 5});
  db.transfer({.date = day(3), .from = 2, .to = 1, .goods = g, .qty = -3, .cost = 5});  // empties the stock
  db.issue({.date = day(4), .dept = 1, .goods = g, .qty = -7});
  const int undated = db.issue({.date = day(4), .dept = 1, .goods = g, .qty = 1});
  db.exec("UPDATE O_PAVOUT SET DATUMS = NULL, ISNODALA = NULL WHERE ISN = (SELECT ISPAVOUT FROM O_PRCOUT WHERE ISN = " +
          std::to_string(undated) + ")");
  // Values whose products overflow a double.
  const int huge = db.goods();
  db.receipt({.date = day(1), .dept = 1, .goods = huge, .qty = 1e300, .price = 1e300});
  db.receipt({.date = day(2), .dept = 1, .goods = huge, .qty = 1e300, .price = 1e300});

  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> figures = {0, 1, -1, 3.5, 1e300, -1e300, inf, -inf, nan};
  auto average = library->newVidSvPasizm();
  for (const int goods : {g, huge, 424242})
    for (const int dept : {1, 2, 99})
      for (const int d : {0, 1, 2, 3, 4, 9}) {
        SCOPED_TRACE("goods " + std::to_string(goods) + " department " + std::to_string(dept) + " day " +
                     std::to_string(d));
        EXPECT_TRUE(std::isfinite(library->PrecValid(goods, dept, day(d))));
        EXPECT_TRUE(std::isfinite(library->ApgrozDaudzums(goods, dept, day(d))));
        EXPECT_TRUE(std::isfinite(library->GetPedIepCena(goods, dept, 0, day(d))));
        EXPECT_TRUE(std::isfinite(library->GetPedIepCena(goods, dept, 1, day(d))));
        EXPECT_TRUE(std::isfinite(average->GetVidSvPasizmaksa(goods, dept, day(d), false, false)));
        for (const double s : figures)
          for (const double q : figures) {
            std::vector<std::string> list;
            const double price = library->GetPasizmaksa(goods, dept, day(d), s, q, q, list);
            EXPECT_TRUE(std::isfinite(price)) << "S " << s << " q " << q;
          }
      }
}

}  // namespace
}  // namespace talvix::pricing
