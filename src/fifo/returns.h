#pragma once
// Returns from clients, under either method: priced from the unit's receipt, an earlier sale to the
// client at the same price, the latest goods-balance cost or the latest receipt price
// (FindReturnCost, price_decision.h).
#include "step/document_line.h"
#include "step/price_decision.h"
#include "fifo/fifo_step.h"
#include "step/run_context.h"

#include <memory>

namespace talvix {

class Query;

void AssignReturns(RunContext& ctx);
// The same as one kind's share of a run.
std::unique_ptr<KindPass> returnsPass(RunContext& ctx);

// What the step does its own way; its statements are the ones it runs.
extern const FifoStep kReturnsStep;

}  // namespace talvix
