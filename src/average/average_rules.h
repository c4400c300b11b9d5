#pragma once
// Which source prices a line under the weighted-average method, and which of its steps leave
// services out: the steps price by these and the report of lines still without cost explains by
// them.
#include "step/price_rule.h"
#include "step/run_settings.h"

namespace talvix {

// The last purchase price when asked for, else the moving average.
inline PriceRule averageRule(const RunSettings& settings) {
  return settings.lastPurchasePrice ? PriceRule::LastPurchasePrice : PriceRule::WeightedAverage;
}

// Whether the run's step for kind takes the services filter: all do but transfers priced without
// issues.
inline bool averageStepFiltersServices(DocumentKind kind, const RunSettings& settings) {
  return kind != DocumentKind::Transfer || settings.issues != kSkip;
}

// The moving average's two flags as the run's step for kind passes them: whether the line is a
// transfer, and whether its kind is priced alone (transfers and issues together are not).
struct AverageFlags {
  bool transfer;
  bool singleKind;
};
inline AverageFlags averageFlags(DocumentKind kind, const RunSettings& settings) {
  return {kind == DocumentKind::Transfer, (kind == DocumentKind::Transfer && settings.issues == kSkip) ||
                                              (kind == DocumentKind::Issue && settings.transfers == kSkip)};
}

}  // namespace talvix
