#pragma once
// One FIFO pass over the period: services filter, run timer, day-quantity tables, the kinds in
// their fixed order, the registry stamp and the closing lines. Errors propagate to the dispatcher;
// the run timer is released either way.
#include "step/run_context.h"

namespace talvix {

void FifoRun(RunContext& ctx);

// Empties both day-quantity tables and sets them to load, at their first lookup, for the period with
// the current services filter: the outflow of transfers and issues, and the goods-balance quantities.
void LoadDayQuantities(RunContext& ctx);

}  // namespace talvix
