#pragma once
// Transfers by weighted average, when issues are not priced in the same run.
#include "average/line_by_line.h"
#include "step/run_context.h"

#include <memory>

namespace talvix {

void AssignTransfersWeighted(RunContext& ctx);
// The same as one kind's share of a run.
std::unique_ptr<KindPass> transfersWeightedPass(RunContext& ctx);

// Its statements; the select takes no services filter.
extern const AverageStepSql kTransfersWeightedSql;

}  // namespace talvix
