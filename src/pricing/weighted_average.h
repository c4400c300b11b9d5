#pragma once
// The moving weighted-average unit cost after replaying a goods' movements in one department day
// by day, each day's inflows before its outflows. Pure arithmetic; always finite.
#include "pricing/movement.h"

#include <vector>

namespace talvix::pricing {

// movements: the inflows that count (cost > 0) and every outflow, in any order. 0.0 when no
// inflow is among them.
double movingAverageCost(std::vector<Movement> movements);

// The replay one movement at a time, for callers that keep the state after every step. Feeding
// the movements in replayOrder gives movingAverageCost's answer after each prefix.
class MovingAverage {
 public:
  void add(const Movement& m);
  double cost() const;
  double stock() const { return stock_; }

 private:
  double stock_ = 0.0;
  double average_ = 0.0;
  bool anyInflow_ = false;
};

// Day by day, inflows before outflows; a total order, so any sort gives the same sequence.
bool replayOrder(const Movement& a, const Movement& b);

}  // namespace talvix::pricing
