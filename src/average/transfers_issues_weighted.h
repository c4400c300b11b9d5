#pragma once
// Transfers and issues together by weighted average, in date order, one price per run of lines of a
// goods and department up to its next stock-in.
#include "step/run_context.h"

namespace talvix {

void AssignTransfersIssuesWeighted(RunContext& ctx);

}  // namespace talvix
