#pragma once
// Issues by weighted average, when transfers are not priced in the same run.
#include "step/run_context.h"

namespace talvix {

void AssignIssuesWeighted(RunContext& ctx);

}  // namespace talvix
