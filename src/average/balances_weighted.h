#pragma once
// Goods-balance documents by weighted average.
#include "average/line_by_line.h"
#include "step/run_context.h"

namespace talvix {

void AssignBalancesWeighted(RunContext& ctx);

// Its statements; the select takes the services filter.
extern const AverageStepSql kBalancesWeightedSql;

}  // namespace talvix
