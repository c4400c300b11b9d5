#pragma once
// Transfers by weighted average, when issues are not priced in the same run.
#include "step/run_context.h"

namespace talvix {

void AssignTransfersWeighted(RunContext& ctx);

}  // namespace talvix
