#pragma once
// One FIFO pass over the period: services filter, run timer, day-quantity tables, the kinds in
// their fixed order, the registry stamp and the closing lines. Errors propagate to the dispatcher;
// the run timer is released either way.
#include "step/run_context.h"

namespace talvix {

void FifoRun(RunContext& ctx);

// Empties both day-quantity tables and loads them for the period with the current services filter:
// the outflow of transfers and issues, and the quantities on goods-balance documents.
void LoadDayQuantities(RunContext& ctx);

}  // namespace talvix
