#pragma once
// Goods-balance documents by weighted average.
#include "step/run_context.h"

namespace talvix {

void AssignBalancesWeighted(RunContext& ctx);

}  // namespace talvix
