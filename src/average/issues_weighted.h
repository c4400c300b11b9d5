#pragma once
// Issues by weighted average, when transfers are not priced in the same run.
#include "average/line_by_line.h"
#include "step/run_context.h"

#include <memory>

namespace talvix {

void AssignIssuesWeighted(RunContext& ctx);
// The same as one kind's share of a run.
std::unique_ptr<KindPass> issuesWeightedPass(RunContext& ctx);

// Its statements; the select takes the services filter.
extern const AverageStepSql kIssuesWeightedSql;

}  // namespace talvix
