#pragma once
// One stock movement of a goods in a department as the pricing rules see it: the kind of line,
// its calendar day, its key, its quantity and its unit cost (0.0 for outflows and unpriced lines).
#include "data/date_time.h"

#include <cstdint>
#include <string>

namespace talvix::pricing {

// Inflow values are the newest-first rank of a layer within one day.
enum class MovementKind : std::uint8_t {
  Return = 0,
  TransferIn = 1,
  Receipt = 2,
  Balance = 3,
  Issue = 4,
  TransferOut = 5,
};
inline constexpr int kMovementKinds = 6;

struct Movement {
  MovementKind kind = MovementKind::Receipt;
  DateTime day = 0;
  std::int32_t isn = 0;
  double quantity = 0;
  double cost = 0;
};

bool isInflow(MovementKind kind);

// Newest-first order of inflows: later day, then returns, transfers, receipts, goods-balance
// lines, then the higher line key.
bool newerFirst(const Movement& a, const Movement& b);

// "2026-03-05 <line table> 1017 5@2.5": the line the FIFO price lists for each layer it used.
std::string describeUse(const Movement& layer, double units);

}  // namespace talvix::pricing
