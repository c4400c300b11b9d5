#pragma once
// Goods-balance documents by weighted average.
#include "average/line_by_line.h"
#include "step/run_context.h"

#include <memory>

namespace talvix {

void AssignBalancesWeighted(RunContext& ctx);
// The same as one kind's share of a run.
std::unique_ptr<KindPass> balancesWeightedPass(RunContext& ctx);

// Its statements; the select takes the services filter.
extern const AverageStepSql kBalancesWeightedSql;

}  // namespace talvix
