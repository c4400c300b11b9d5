// FIFO at day grain conserves value: over random histories, pricing every day's outflow with the
// stock figures gives outflow cost + value of the remaining (newest) units = value of all inflows.
#include "pricing_fixture.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

namespace talvix::pricing {
namespace {

constexpr int kGoods = 3;
constexpr int kDepartments = 3;
constexpr int kDays = 40;

struct Layer {
  int kindRank;  // newest first within a day: return 0, transfer 1, receipt 2, goods balance 3
  int day;
  int isn;
  double qty;
  double cost;
};

// What the generator knows of one goods in one department.
struct Ledger {
  std::vector<Layer> inflows;
  std::map<int, double> inflowByDay;
  std::map<int, double> outflowByDay;
  double stock = 0;
};

class PricingFifoProperty : public PricingTest, public ::testing::WithParamInterface<unsigned> {
 protected:
  DateTime date(int d) const { return makeDate(2026, 1, 1) + d; }
  double quarter(double max) { return std::max(0.25, std::floor(uniform(0, max) * 4) / 4); }
  double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); }
  double money() { return std::round(uniform(0.5, 50) * 100) / 100; }
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
  DateTime at(int d) { return date(d) + uniform(0, 0.99); }  // the time of day must not matter

  void inflow(int g, int d, int rank, int day, int isn, double qty, double cost) {
    Ledger& l = ledgers[{g, d}];
    l.inflows.push_back({rank, day, isn, qty, cost});
    l.inflowByDay[day] += qty;
    l.stock += qty;
  }
  void outflow(int g, int d, int day, double qty) {
    Ledger& l = ledgers[{g, d}];
    l.outflowByDay[day] += qty;
    l.stock -= qty;
  }

  // One random movement on a day; outflows never take more than the department holds.
  void randomMovement(int day) {
    const int g = goods[pick(kGoods)], d = 1 + pick(kDepartments);
    const double held = ledgers[{g, d}].stock;
    const int kind = pick(100);
    if (kind < 35 && held >= 0.25) {
      const double qty = quarter(std::min(held, 12.0));
      db.issue({.date = at(day), .dept = d, .goods = g, .qty = qty});
      outflow(g, d, day, qty);
    } else if (kind < 50 && held >= 0.25) {
      const int to = 1 + (d % kDepartments);
      const double qty = quarter(held), cost = money();
      const int isn = db.transfer({.date = at(day), .from = d, .to = to, .goods = g, .qty = qty, .cost = cost});
      outflow(g, d, day, qty);
      inflow(g, to, 1, day, isn, qty, cost);
    } else if (kind < 60) {
      const double qty = quarter(5), cost = money();
      const std::optional<int> origin = pick(3) == 0 ? std::nullopt : std::optional<int>(1 + pick(2));
      const int isn =
          db.returned({.date = at(day), .dept = d, .goods = g, .qty = qty, .cost = cost, .fromWhat = origin});
      inflow(g, d, 0, day, isn, qty, cost);
    } else if (kind < 68) {
      const double qty = quarter(20), cost = money();
      const int isn = db.balance({.date = at(day), .dept = d, .goods = g, .qty = qty, .cost = cost});
      inflow(g, d, 3, day, isn, qty, cost);
    } else if (kind < 72) {
      // Unconfirmed: no inflow at all.
      db.balance({.date = at(day), .dept = d, .goods = g, .qty = quarter(20), .cost = money(), .unconfirmed = "T"});
    } else {
      const double qty = quarter(20), price = money(), discount = pick(2) ? 0.0 : -pick(30);
      const int isn =
          db.receipt({.date = at(day), .dept = d, .goods = g, .qty = qty, .price = price, .discount = discount});
      inflow(g, d, 2, day, isn, qty, price * (1 + discount / 100));
    }
  }

  // Value of the newest units that are still in stock.
  static double remainingValue(std::vector<Layer> inflows, double remaining) {
    std::sort(inflows.begin(), inflows.end(), [](const Layer& a, const Layer& b) {
      if (a.day != b.day) return a.day > b.day;
      if (a.kindRank != b.kindRank) return a.kindRank < b.kindRank;
      return a.isn > b.isn;
    });
    double value = 0;
    for (const Layer& layer : inflows) {
      const double units = std::min(layer.qty, remaining);
      value += units * layer.cost;
      remaining -= units;
    }
    return value;
  }

  std::mt19937 rng{GetParam()};
  int goods[kGoods] = {};
  std::map<std::pair<int, int>, Ledger> ledgers;
};

TEST_P(PricingFifoProperty, OutflowCostPlusRemainingStockEqualsInflows) {
  for (int& g : goods) g = db.goods();
  int movements = 0;
  for (int day = 0; day < kDays; ++day)
    for (int n = pick(15); n > 0; --n, ++movements) randomMovement(day);
  ASSERT_GT(movements, 200);

  int pricedDays = 0;
  for (const auto& [key, ledger] : ledgers) {
    const auto [g, d] = key;
    SCOPED_TRACE("goods " + std::to_string(g) + " department " + std::to_string(d));
    double inflowValue = 0, outflowCost = 0;
    for (const Layer& layer : ledger.inflows) inflowValue += layer.qty * layer.cost;
    double before = 0;  // stock at the start of the day
    for (int day = 0; day < kDays; ++day) {
      const auto in = ledger.inflowByDay.find(day);
      const auto out = ledger.outflowByDay.find(day);
      const double dayIn = in == ledger.inflowByDay.end() ? 0 : in->second;
      const double dayOut = out == ledger.outflowByDay.end() ? 0 : out->second;
      if (dayOut > 0) {
        const DateTime t = date(day) + 0.5;
        const double stock = library->PrecValid(g, d, t) + library->ApgrozDaudzums(g, d, t);
        ASSERT_NEAR(stock, before + dayIn, 1e-9) << "day " << day;
        std::vector<std::string> list;
        outflowCost += library->GetPasizmaksa(g, d, t, stock, 1, dayOut, list) * dayOut;
        ++pricedDays;
      }
      before += dayIn - dayOut;
    }
    EXPECT_NEAR(outflowCost + remainingValue(ledger.inflows, ledger.stock), inflowValue, 1e-6);
  }
  EXPECT_GT(pricedDays, 30);
}

INSTANTIATE_TEST_SUITE_P(Seeds, PricingFifoProperty, ::testing::Values(1u, 2u, 3u));

}  // namespace
}  // namespace talvix::pricing
