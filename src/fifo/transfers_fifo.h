#pragma once
// Transfers by FIFO: every transfer line of the period without cost gets the sending department's
// FIFO cost (or the first-sale, serial or last-purchase price the options ask for).
#include "fifo/fifo_step.h"
#include "step/run_context.h"

#include <memory>

namespace talvix {

void AssignTransfersFifo(RunContext& ctx);
// The same as one kind's share of a run.
std::unique_ptr<KindPass> transfersFifoPass(RunContext& ctx);

// What the step does its own way; its statements are the ones it runs.
extern const FifoStep kTransfersFifoStep;

}  // namespace talvix
