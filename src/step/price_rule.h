#pragma once
// The two costing methods and the order the runs take the kinds in; PriceRule itself is in the
// kinds' rows.
#include "data/document_tables.h"
#include "step/run_settings.h"

namespace talvix {

enum class StockMethod { Fifo, WeightedAverage };

// The order both runs take the kinds in.
inline constexpr DocumentKind kKindsInRunOrder[] = {DocumentKind::Balance, DocumentKind::Transfer,
                                                    DocumentKind::Issue, DocumentKind::Return};
static_assert(std::size(kKindsInRunOrder) == kKindCount, "every kind has its place in the runs' order");

}  // namespace talvix
