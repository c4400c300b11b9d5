#include "pricing/weighted_average.h"

#include <algorithm>
#include <cmath>

namespace talvix::pricing {

// Inflows oldest first, so that a reset to the cost of an inflow into an empty stock is
// reproducible. Outflows only lower the stock, but the order of their subtractions still shows in
// the last bits, so it is fixed as well.
bool replayOrder(const Movement& a, const Movement& b) {
  if (a.day != b.day) return a.day < b.day;
  const bool aIn = isInflow(a.kind), bIn = isInflow(b.kind);
  if (aIn != bIn) return aIn;
  if (aIn) return newerFirst(b, a);
  if (a.isn != b.isn) return a.isn < b.isn;
  return a.kind < b.kind;
}

void MovingAverage::add(const Movement& m) {
  if (!isInflow(m.kind)) {
    stock_ -= m.quantity;
    return;
  }
  if (!(m.cost > 0)) return;
  anyInflow_ = true;
  if (stock_ <= 0) {
    average_ = m.cost;
  } else if (stock_ + m.quantity > 0) {
    average_ = (stock_ * average_ + m.quantity * m.cost) / (stock_ + m.quantity);
  }
  // A negative inflow that empties the stock leaves no quantity to average over: the cost stays.
  stock_ += m.quantity;
}

double MovingAverage::cost() const {
  if (!anyInflow_ || !std::isfinite(average_)) return 0.0;
  return average_;
}

double movingAverageCost(std::vector<Movement> movements) {
  std::sort(movements.begin(), movements.end(), replayOrder);
  MovingAverage replay;
  for (const Movement& m : movements) replay.add(m);
  return replay.cost();
}

}  // namespace talvix::pricing
