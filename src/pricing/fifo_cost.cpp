#include "pricing/fifo_cost.h"

#include "pricing/finite_price.h"

#include <algorithm>
#include <cmath>

namespace talvix::pricing {
namespace {

// Each layer's cost weighted by its share of the n units taken, which keeps the sum within the
// layers' costs.
double takenCost(std::span<const Movement> layers, const std::vector<double>& taken, double n) {
  double price = 0.0;
  for (std::size_t i = 0; i < taken.size(); ++i)
    if (taken[i] > 0) price += layers[i].cost * (taken[i] / n);
  return finitePrice(price);
}

}  // namespace

FifoTaking fifoTaking(std::span<const Movement> layers, double stock, double quantity, double dayQuantity) {
  FifoTaking result;
  if (layers.empty()) return result;
  stock = finitePrice(stock);
  quantity = finitePrice(quantity);
  dayQuantity = finitePrice(dayQuantity);

  const double n = dayQuantity > 0 ? dayQuantity : quantity;
  result.outflow = n;
  if (n <= 0) {
    result.taken.push_back(0.0);
    result.cost = finitePrice(layers.front().cost);
    return result;
  }

  // Units are numbered from the newest (0) to the oldest (m); the outflow takes [m - n, m).
  const double m = std::max(stock, n);
  const double outflowStart = m - n;
  std::vector<double>& taken = result.taken;
  double covered = 0.0;
  for (std::size_t walked = 0; walked < layers.size() && covered < m; ++walked) {
    const double units = std::min(layers[walked].quantity, m - covered);
    taken.push_back(std::max(0.0, covered + units - std::max(covered, outflowStart)));
    covered += units;
  }
  // Units no layer covers are older still and cost what the oldest layer cost; then every layer
  // was walked.
  if (covered < m) {
    result.beyondLayers = std::min(m - covered, n);
    taken.back() += result.beyondLayers;
  }
  result.cost = takenCost(layers, taken, n);
  return result;
}

double fifoUnitCost(std::span<const Movement> layers, double stock, double quantity, double dayQuantity,
                    std::vector<std::string>& list) {
  const FifoTaking taking = fifoTaking(layers, stock, quantity, dayQuantity);
  describeTaking(layers, taking, list);
  return taking.cost;
}

void describeTaking(std::span<const Movement> layers, const FifoTaking& taking, std::vector<std::string>& list) {
  if (taking.outflow <= 0 && !taking.taken.empty()) list.push_back(describeUse(layers.front(), 0.0));
  for (std::size_t i = 0; i < taking.taken.size(); ++i)
    if (taking.taken[i] > 0) list.push_back(describeUse(layers[i], taking.taken[i]));
}

}  // namespace talvix::pricing
