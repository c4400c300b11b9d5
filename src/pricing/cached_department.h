#pragma once
// One goods in one department as the movement cache holds it: each kind's lines from the fold day
// on, and what the lines dated before it left (each kind's summed quantity, the moving average,
// the newest layers, the latest receipt price). Owned by its Goods; every figure it gives is the
// one the statements in stock_movements.h give on the same lines.
#include "pricing/cached_line.h"
#include "pricing/weighted_average.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace talvix::pricing::cache {

// Layers kept beyond what the stock so far could walk while the history streams past.
inline constexpr std::size_t kLayersKeptBeyondStock = 16;

struct Department {
  ByKind<std::vector<Line>> lines;  // each kind's in the order the goods index gives them
  std::vector<PricePoint> lastPrices;

  // What the lines dated before the fold day left. Folding adds exactly what the statements add:
  // each kind's quantities in table order (so only while no later line of the kind came first),
  // the average replayed in replay order, the newest layers in walking order.
  ByKind<double> historySum;
  std::uint8_t kindsKept = 0;           // kinds already holding a line from the fold day on, by bit
  std::vector<Movement> historyLayers;  // newest first once folded
  bool layersCut = false;               // older layers were dropped
  MovingAverage historyAverage;
  std::vector<Movement> pending;  // counted by the average, not replayed yet
  DateTime replayedBefore = -1e9;
  std::optional<PricePoint> historyPrice;

  bool layersStale = true;
  std::vector<Movement> layers;  // newest first, the history's after the rest
  bool averageStale = true;
  std::vector<DateTime> averageDays;  // replay order
  std::vector<double> averages;       // the cost after each step of the replay

  void markCostChanged() { layersStale = averageStale = true; }

  void keep(MovementKind kind, const Line& l) {
    kindsKept |= static_cast<std::uint8_t>(1u << static_cast<int>(kind));
    lines[kind].push_back(l);
  }

  // False when the line cannot be folded exactly: the goods must then be read whole. Without
  // average, the moving average is left out of the fold.
  bool fold(MovementKind kind, const Line& l, bool average) {
    if (kindsKept & (1u << static_cast<int>(kind))) return false;
    if (!l.quantityNull) historySum[kind] += l.quantity;
    if (isInflow(kind) && l.isLayer()) historyLayers.push_back(movementOf(kind, l));
    if (average && averageCounts(kind, l)) {
      if (l.day < replayedBefore) return false;
      pending.push_back(movementOf(kind, l));
    }
    return true;
  }

  // Replays the pending movements dated before cutoff into the folded average.
  void replayBefore(DateTime cutoff);
  // What the folded lines left in stock, never below 0.
  double historyStock() const;
  // While the history streams past: the layers well beyond what the stock so far could walk go;
  // should the period walk deeper after all, the goods is read whole.
  void trimLayers();
  // Keeps the newest layers covering units, plus extra more.
  void keepCovering(double units, std::size_t extra);
  // Ends the fold: the average replayed, and only as many old layers kept as any stock the period
  // may hold could walk, plus one; a walk that reaches the last kept one reads the goods whole.
  void finishFold();

  double stockBeforeOutflows(DateTime limit) const;
  const std::vector<Movement>& sortedLayers();
  void replayAverage();
};

}  // namespace talvix::pricing::cache
