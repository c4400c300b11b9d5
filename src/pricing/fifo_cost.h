#pragma once
// The FIFO cost of one unit leaving a department on a day, at day grain: the stock on that day is
// the newest units received, and the day's outflow takes the oldest of them. Pure arithmetic over
// the layers that the caller read; always finite.
#include "pricing/movement.h"

#include <span>
#include <string>
#include <vector>

namespace talvix::pricing {

// layers: inflows with quantity > 0 and cost > 0 dated on or before the day, newest first.
// stock: units in stock before the day's outflows; quantity: the line's; dayQuantity: the day's
// whole outflow (used when > 0). Appends one describeUse line per layer the price drew on. Reads
// only the layers it walks, so the cost does not grow with an old history.
double fifoUnitCost(std::span<const Movement> layers, double stock, double quantity, double dayQuantity,
                    std::vector<std::string>& list);

// The same walk, told: the units taken from each layer walked (by index into layers, 0.0 for a
// layer walked but not drawn on), the outflow they are shares of, and the units beyond every layer,
// which are added to the last one walked. cost is fifoUnitCost's answer.
struct FifoTaking {
  double outflow = 0.0;
  std::vector<double> taken;
  double beyondLayers = 0.0;
  double cost = 0.0;
};
FifoTaking fifoTaking(std::span<const Movement> layers, double stock, double quantity, double dayQuantity);

// Appends fifoUnitCost's describeUse lines for a walk over layers.
void describeTaking(std::span<const Movement> layers, const FifoTaking& taking, std::vector<std::string>& list);

}  // namespace talvix::pricing
