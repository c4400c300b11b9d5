#pragma once
// The costs a continuous pass wrote, which its snapshot cannot see: laid over every line the cache
// reads through that snapshot. The movement cache owns it; emptied when a new snapshot sees them
// or a rollback takes them back.
#include "pricing/movement_kinds.h"

#include <array>
#include <cstdint>
#include <optional>
#include <unordered_map>

namespace talvix::pricing {

class PassWrites {
 public:
  void record(CostColumn column, std::int32_t isn, double cost) { costs_[static_cast<int>(column)][isn] = cost; }
  // Null when the pass wrote no cost to that line.
  const double* cost(CostColumn column, std::int32_t isn) const {
    const auto& written = costs_[static_cast<int>(column)];
    const auto found = written.find(isn);
    return found == written.end() ? nullptr : &found->second;
  }
  // The cost written to a line of kind, if any; a kind whose cost the cache does not follow has none.
  const double* costOf(MovementKind kind, std::int32_t isn) const {
    const std::optional<CostColumn> column = rowOf(kind).followedCost;
    return column ? cost(*column, isn) : nullptr;
  }
  void clear() noexcept {
    for (auto& written : costs_) written.clear();
  }

 private:
  std::array<std::unordered_map<std::int32_t, double>, kCostColumns> costs_;
};

}  // namespace talvix::pricing
