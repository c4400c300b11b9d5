#pragma once
// Returns from clients, under either method: priced from the unit's receipt, an earlier sale to the
// client at the same price, the latest goods-balance cost or the latest receipt price.
#include "step/run_context.h"

namespace talvix {

void AssignReturns(RunContext& ctx);

}  // namespace talvix
