#pragma once
// The weighted-average run (a single pass) and the price reset that opens it.
#include "step/run_context.h"

namespace talvix {

void WeightedAverageRun(RunContext& ctx);

// Sets the costs of the period's goods-balance, transfer and issue lines to 0.0 for the kinds in mode 2.
void ResetCosts(RunContext& ctx);

}  // namespace talvix
