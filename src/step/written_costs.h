#pragma once
// The costs a continuous pass wrote, which its snapshot does not show: a look-up that reads a
// line's cost through the snapshot takes the cost written instead, as a read of committed data
// would have. Emptied at each pass's start, when the new snapshot shows them all.
#include "data/document_tables.h"

#include <cstdint>
#include <iterator>
#include <unordered_map>

namespace talvix {

class WrittenCosts {
 public:
  void clear() noexcept {
    for (auto& costs : costs_) costs.clear();
  }
  void wrote(DocumentKind kind, std::int32_t isn, double cost) { costs_[kindIndex(kind)][isn] = cost; }
  bool any(DocumentKind kind) const { return !costs_[kindIndex(kind)].empty(); }
  // The cost written to the line, else read.
  double cost(DocumentKind kind, std::int32_t isn, double read) const {
    const auto& costs = costs_[kindIndex(kind)];
    const auto written = costs.find(isn);
    return written == costs.end() ? read : written->second;
  }

 private:
  PerKind<std::unordered_map<std::int32_t, double>> costs_;
};

}  // namespace talvix
