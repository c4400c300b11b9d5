#pragma once
// The one rule every weighted-average step applies before binding a price: a price that is not a
// finite number is written as 0.0, so the line stays without cost and the next run tries again.
#include <cmath>

namespace talvix::average {

inline double finitePrice(double price) { return std::isfinite(price) ? price : 0.0; }

}  // namespace talvix::average
