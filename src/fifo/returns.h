#pragma once
// Returns from clients, under either method: priced from the unit's receipt, an earlier sale to the
// client at the same price, the latest goods-balance cost or the latest receipt price
// (FindReturnCost, price_decision.h).
#include "fifo/fifo_step.h"
#include "step/price_decision.h"
#include "step/run_context.h"

#include <memory>

namespace talvix {

// The returns' share of a run, under either method.
std::unique_ptr<KindPass> returnsPass(RunContext& ctx);

}  // namespace talvix
