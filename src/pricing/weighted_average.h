#pragma once
// The moving weighted-average unit cost after replaying a goods' movements in one department day
// by day, each day's inflows before its outflows. Pure arithmetic; always finite.
#include "pricing/movement.h"

#include <vector>

namespace talvix::pricing {

// movements: the inflows that count (cost > 0) and every outflow, in any order. 0.0 when no
// inflow is among them.
double movingAverageCost(std::vector<Movement> movements);

}  // namespace talvix::pricing
