#pragma once
// Goods-balance documents by FIFO.
#include "fifo/fifo_step.h"
#include "step/run_context.h"

#include <memory>

namespace talvix {

void AssignBalancesFifo(RunContext& ctx);
// The same as one kind's share of a run.
std::unique_ptr<KindPass> balancesFifoPass(RunContext& ctx);

// What the step does its own way; its statements are the ones it runs.
extern const FifoStep kBalancesFifoStep;

}  // namespace talvix
