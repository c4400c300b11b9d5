#pragma once
// The movement cache's vocabulary: one line as it is held, a receipt price point, one slot per
// movement kind, and the sums and orders every answer shares with the statements in
// stock_movements.h (COALESCE of a NULL quantity, the stock statement's order of kinds).
#include "pricing/movement.h"
#include "pricing/movement_kinds.h"

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace talvix::pricing::cache {

inline constexpr std::int32_t kNullKey = std::numeric_limits<std::int32_t>::min();

struct Line {
  DateTime at = 0;      // the header's date-time
  DateTime day = 0;     // its day
  double quantity = 0;  // 0.0 when NULL, as COALESCE gives it
  double cost = 0;
  std::int32_t isn = 0;
  bool quantityNull = false;
  bool costNull = false;
  bool averaged = false;  // a return the moving average counts (FROM_WHAT = 2)

  bool isLayer() const { return !quantityNull && quantity > 0 && !costNull && cost > 0; }
  bool pricedInflow() const { return !costNull && cost > 0; }
};

struct PricePoint {
  DateTime day;
  std::int32_t isn;
  double price;
};

// Latest first: by day, then by line key, as the last-price statement orders.
inline bool laterPrice(const PricePoint& a, const PricePoint& b) {
  if (a.day != b.day) return a.day > b.day;
  return a.isn > b.isn;
}

inline void laterOf(std::optional<PricePoint>& held, const PricePoint& p) {
  if (!held || laterPrice(p, *held)) held = p;
}

// One T per movement kind.
static_assert(kMovementKinds <= 8, "Department::kindsKept holds one bit per movement kind");
template <typename T>
struct ByKind {
  std::array<T, kMovementKinds> items{};
  T& operator[](MovementKind kind) { return items[static_cast<int>(kind)]; }
  const T& operator[](MovementKind kind) const { return items[static_cast<int>(kind)]; }
};

// SUM(DAUDZUMS) over the lines that pass, added in their order after start; NULLs skipped.
template <typename Pass>
double sumQuantities(double start, const std::vector<Line>& lines, Pass pass) {
  double total = start;
  for (const Line& l : lines)
    if (!l.quantityNull && pass(l.day)) total += l.quantity;
  return total;
}

inline Movement movementOf(MovementKind kind, const Line& l) {
  Movement m;
  m.kind = kind;
  m.day = l.day;
  m.isn = l.isn;
  m.quantity = l.quantity;
  m.cost = isInflow(kind) ? l.cost : 0.0;
  return m;
}

// Whether the moving average counts the line: priced inflows (returns only when averaged) and
// every outflow.
inline bool averageCounts(MovementKind kind, const Line& l) {
  if (!isInflow(kind)) return true;
  return l.pricedInflow() && (!rowOf(kind).averagedByOrigin() || l.averaged);
}

// Ten years of departments each keeping the room its busiest weeks needed add up: give back what
// is well beyond the need.
inline void releaseSpare(std::vector<Movement>& movements) {
  if (movements.capacity() > 2 * movements.size() + 8) movements.shrink_to_fit();
}

}  // namespace talvix::pricing::cache
