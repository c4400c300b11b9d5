#pragma once
// One FIFO pass over the period: services filter, run timer, day-quantity tables, the kinds in
// their fixed order, the registry stamp and the closing lines. Errors propagate to the dispatcher;
// the run timer is released either way.
#include "fifo/day_quantities.h"
#include "step/run_context.h"

namespace talvix {

void FifoRun(RunContext& ctx);

}  // namespace talvix
