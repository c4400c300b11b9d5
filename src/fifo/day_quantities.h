#pragma once
// The day quantities a FIFO pass prices with, loaded into the window state's tables.
#include "step/run_context.h"

namespace talvix {

// Empties both day-quantity tables and sets them to load, at their first lookup, for the period with
// the current services filter: the outflow of transfers and issues, and the goods-balance quantities.
void LoadDayQuantities(RunContext& ctx);

}  // namespace talvix
