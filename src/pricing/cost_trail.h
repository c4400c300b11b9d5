#pragma once
// How the library tells a cost: a FIFO walk as the layers it took, a weighted-average replay as
// every step with the stock and average after it.
#include "data/pricing_library.h"
#include "pricing/movement_source.h"
#include "pricing/stock_movements.h"

#include <vector>

namespace talvix::pricing {

FifoTrail fifoTrail(const MovementSource::FifoWalk& walk, double stock);
// Always read from the database, movement by movement.
std::vector<AverageStep> averageReplay(StockMovements& movements, int goods, int dept, DateTime date);

}  // namespace talvix::pricing
