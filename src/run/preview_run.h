#pragma once
// A run that writes nothing that lasts: what the assign button would run under ctx.settings (FIFO:
// one pass whatever the modes; weighted average: the run), checks and refusals included, on one
// held snapshot of the database that is rolled back at the end. No settings, operation-log entry
// or last-run stamp is written and no turn is taken. The steps see their own earlier writes, so
// the costs are those the real run would write.
#include "step/cost_change.h"
#include "step/run_context.h"

#include <optional>
#include <vector>

namespace talvix {

// The lines whose cost would change, in the order the run last wrote them; nullopt when a check
// refused the run (its message shown through ctx.host). Throws what the run throws, all undone.
std::optional<CostChanges> previewRun(RunContext& ctx);

}  // namespace talvix
