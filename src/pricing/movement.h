#pragma once
// One stock movement of a goods in a department as the pricing rules see it: the kind of line,
// its calendar day, its key, its quantity and its unit cost (0.0 for outflows and unpriced lines).
#include "data/date_time.h"
#include "data/document_tables.h"

#include <cstdint>
#include <string>

namespace talvix::pricing {

// A movement kind is its place in the kinds' ranks (KindStock, data/document_tables.h): the
// inflows first, newest layer of a day first, then the outflows. movement_kinds.h holds the rows.
enum class MovementKind : std::uint8_t {};

namespace detail {
constexpr int countFlows(bool in) {
  int count = in ? 1 : 0;  // receipts
  for (const DocumentKindRow& row : kDocumentKinds) count += (in ? row.stock.in.told : row.stock.out.told) ? 1 : 0;
  return count;
}
// The movement kind of the flow of that rank: how many flows rank before it.
constexpr MovementKind kindOfRank(int rank) {
  int before = rank > kReceiptRank ? 1 : 0;
  for (const DocumentKindRow& row : kDocumentKinds)
    for (const StockFlow& flow : {row.stock.in, row.stock.out})
      if (flow.told && flow.rank < rank) ++before;
  return static_cast<MovementKind>(before);
}
}  // namespace detail

inline constexpr int kInflowKinds = detail::countFlows(true);
inline constexpr int kMovementKinds = kInflowKinds + detail::countFlows(false);
inline constexpr MovementKind kReceiptMovement = detail::kindOfRank(kReceiptRank);

struct Movement {
  MovementKind kind = kReceiptMovement;
  DateTime day = 0;
  std::int32_t isn = 0;
  double quantity = 0;
  double cost = 0;
};

inline bool isInflow(MovementKind kind) { return static_cast<int>(kind) < kInflowKinds; }

// Newest-first order of inflows: later day, then the kinds' ranks, then the higher line key.
bool newerFirst(const Movement& a, const Movement& b);

// "2026-03-05 <line table> 1017 5@2.5": the line the FIFO price lists for each layer it used.
std::string describeUse(const Movement& layer, double units);

}  // namespace talvix::pricing
