#include "pricing/weighted_average.h"

#include <algorithm>
#include <cmath>

namespace talvix::pricing {
namespace {

// Day by day; inflows first, oldest first, so that a reset to the cost of an inflow into an empty
// stock is reproducible; outflows only lower the stock, so their order is immaterial.
bool replayOrder(const Movement& a, const Movement& b) {
  if (a.day != b.day) return a.day < b.day;
  const bool aIn = isInflow(a.kind), bIn = isInflow(b.kind);
  if (aIn != bIn) return aIn;
  if (aIn) return newerFirst(b, a);
  return a.isn < b.isn;
}

}  // namespace

double movingAverageCost(std::vector<Movement> movements) {
  std::sort(movements.begin(), movements.end(), replayOrder);
  double stock = 0.0, average = 0.0;
  bool anyInflow = false;
  for (const Movement& m : movements) {
    if (!isInflow(m.kind)) {
      stock -= m.quantity;
      continue;
    }
    if (!(m.cost > 0)) continue;
    anyInflow = true;
    if (stock <= 0) {
      average = m.cost;
    } else if (stock + m.quantity > 0) {
      average = (stock * average + m.quantity * m.cost) / (stock + m.quantity);
    }
    // A negative inflow that empties the stock leaves no quantity to average over: the cost stays.
    stock += m.quantity;
  }
  if (!anyInflow || !std::isfinite(average)) return 0.0;
  return average;
}

}  // namespace talvix::pricing
