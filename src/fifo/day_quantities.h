#pragma once
// The day quantities a FIFO pass prices with, loaded into the window state's tables.
#include "step/run_context.h"

#include <string>

namespace talvix {

// Empties both day-quantity tables and sets them to load, at their first lookup, for the period with
// the current services filter: the outflow of transfers and issues, and the goods-balance quantities.
void LoadDayQuantities(RunContext& ctx);

// The statements it loads them with, each with the services filter given.
std::string dayOutflowSql(const std::string& servicesFilter);
std::string dayBalanceSql(const std::string& servicesFilter);

}  // namespace talvix
