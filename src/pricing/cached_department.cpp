#include "pricing/cached_department.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace talvix::pricing::cache {


void Department::replayBefore(DateTime cutoff) {
  const auto later =
      std::partition(pending.begin(), pending.end(), [cutoff](const Movement& m) { return m.day < cutoff; });
  std::sort(pending.begin(), later, replayOrder);
  for (auto m = pending.begin(); m != later; ++m) historyAverage.add(*m);
  pending.erase(pending.begin(), later);
  releaseSpare(pending);
  replayedBefore = std::max(replayedBefore, cutoff);
}

double Department::historyStock() const {
  double stock = 0.0;
  for (const MovementKind kind : kStockOrder) stock += isInflow(kind) ? historySum[kind] : -historySum[kind];
  return std::max(0.0, stock);
}

void Department::trimLayers() {
  if (historyLayers.size() < 2 * kLayersKeptBeyondStock) return;
  std::sort(historyLayers.begin(), historyLayers.end(), newerFirst);
  keepCovering(2 * historyStock(), kLayersKeptBeyondStock);
  releaseSpare(historyLayers);
}

void Department::keepCovering(double units, std::size_t extra) {
  if (!std::isfinite(units)) return;
  double covered = 0.0;
  std::size_t count = 0;
  while (count < historyLayers.size() && covered < units) covered += historyLayers[count++].quantity;
  count = std::min(historyLayers.size(), count + extra);
  if (count == historyLayers.size()) return;
  layersCut = true;
  historyLayers.resize(count);
}

void Department::finishFold() {
  replayBefore(std::numeric_limits<DateTime>::infinity());
  pending.shrink_to_fit();
  std::sort(historyLayers.begin(), historyLayers.end(), newerFirst);
  double bound = historyStock();
  for (const MovementKind kind : kStockOrder)
    for (const Line& l : lines[kind]) bound += std::fabs(l.quantity);
  keepCovering(bound, 1);
  historyLayers.shrink_to_fit();
}

double Department::stockBeforeOutflows(DateTime limit) const {
  const auto onOrBefore = [limit](DateTime day) { return day <= limit; };
  const auto before = [limit](DateTime day) { return day < limit; };
  // The rows of the stock statement, added in its order.
  double total = 0.0;
  for (const MovementKind kind : kStockOrder) {
    const double sum = rowOf(kind).onItsDay() ? sumQuantities(historySum[kind], lines[kind], onOrBefore)
                                              : sumQuantities(historySum[kind], lines[kind], before);
    total += isInflow(kind) ? sum : -sum;
  }
  return total;
}

const std::vector<Movement>& Department::sortedLayers() {
  if (!layersStale) return layers;
  layers.clear();
  for (const MovementKind kind : kStockOrder)
    if (isInflow(kind))
      for (const Line& l : lines[kind])
        if (l.isLayer()) layers.push_back(movementOf(kind, l));
  std::sort(layers.begin(), layers.end(), newerFirst);
  // Every folded layer is older than every kept one.
  layers.insert(layers.end(), historyLayers.begin(), historyLayers.end());
  layersStale = false;
  return layers;
}

void Department::replayAverage() {
  if (!averageStale) return;
  std::vector<Movement> movements;
  for (const MovementKind kind : kStockOrder)
    for (const Line& l : lines[kind])
      if (averageCounts(kind, l)) movements.push_back(movementOf(kind, l));
  std::sort(movements.begin(), movements.end(), replayOrder);
  averageDays.clear();
  averages.clear();
  MovingAverage replay = historyAverage;
  for (const Movement& m : movements) {
    replay.add(m);
    averageDays.push_back(m.day);
    averages.push_back(replay.cost());
  }
  averageStale = false;
}

}  // namespace talvix::pricing::cache
