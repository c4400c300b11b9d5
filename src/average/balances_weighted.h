#pragma once
// Goods-balance documents by weighted average.
#include "run/run_context.h"

namespace talvix {

void AssignBalancesWeighted(RunContext& ctx);

}  // namespace talvix
