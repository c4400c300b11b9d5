#pragma once
// Every price the library returns and every price a step binds passes through here, so that a
// division by a zero tax factor or a library fault can never put NaN or infinity into the
// database: such a price is 0.0, which leaves the line without cost for the next run.
#include <cmath>

namespace talvix {

inline double finitePrice(double price) { return std::isfinite(price) ? price : 0.0; }

}  // namespace talvix
