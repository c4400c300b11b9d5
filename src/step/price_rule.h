#pragma once
// The two costing methods and the order the runs take the kinds in; PriceRule itself is in the
// kinds' rows.
#include "data/document_tables.h"
#include "step/run_settings.h"

namespace talvix {

enum class StockMethod { Fifo, WeightedAverage };

// The order both runs take the kinds in, from the rows.
inline constexpr PerKind<DocumentKind> kKindsInRunOrder = [] {
  PerKind<DocumentKind> order{};
  for (const DocumentKindRow& row : kDocumentKinds) order.at(row.runOrder) = row.kind;
  return order;
}();
constexpr bool everyKindInRunOrder() {
  PerKind<bool> placed{};
  for (const DocumentKindRow& row : kDocumentKinds) placed.at(row.runOrder) = true;
  for (const bool each : placed)
    if (!each) return false;
  return true;
}
static_assert(everyKindInRunOrder(), "every kind has its own place in the runs' order");

}  // namespace talvix
