#include "pricing/cost_trail.h"

#include "pricing/finite_price.h"
#include "pricing/movement_kinds.h"
#include "pricing/weighted_average.h"

#include <algorithm>

namespace talvix::pricing {
namespace {

StockLayer told(const Movement& m) {
  return {rowOf(m.kind).told, m.day, m.isn, m.quantity, m.cost};
}

}  // namespace

FifoTrail fifoTrail(const MovementSource::FifoWalk& walk, double stock) {
  const FifoTaking& taking = walk.taking;
  FifoTrail trail{.stock = finitePrice(stock),
                  .outflow = taking.outflow,
                  .taken = {},
                  .beyondLayers = taking.beyondLayers,
                  .anyLayer = !walk.layers.empty(),
                  .cost = taking.cost};
  for (std::size_t i = 0; i < taking.taken.size(); ++i)
    if (taking.taken[i] > 0) trail.taken.push_back({told(walk.layers[i]), taking.taken[i]});
  return trail;
}

std::vector<AverageStep> averageReplay(StockMovements& movements, int goods, int dept, DateTime date) {
  std::vector<Movement> replayed = movements.averageMovements(goods, dept, date);
  std::sort(replayed.begin(), replayed.end(), replayOrder);
  MovingAverage replay;
  std::vector<AverageStep> steps;
  steps.reserve(replayed.size());
  for (const Movement& m : replayed) {
    replay.add(m);
    steps.push_back({told(m), replay.stock(), replay.cost()});
  }
  return steps;
}

}  // namespace talvix::pricing
