#pragma once
// The weighted-average run (a single pass) and the price reset that opens it.
#include "step/line_reset.h"
#include "step/run_context.h"

namespace talvix {

void WeightedAverageRun(RunContext& ctx);

// Sets the costs of the period's goods-balance, transfer and issue lines to 0.0 for the kinds in mode 2
// (each row's weighted-average reset; a return's own step resets returns).
void ResetCosts(RunContext& ctx);

}  // namespace talvix
