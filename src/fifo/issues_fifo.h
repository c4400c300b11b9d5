#pragma once
// Issues (sales and write-offs) by FIFO: every issue line of the period without cost gets the
// issuing department's FIFO cost, or the first-sale, serial, last-purchase or client-sale price
// the options and its quantity ask for.
#include "fifo/fifo_step.h"
#include "step/run_context.h"

#include <memory>

namespace talvix {

void AssignIssuesFifo(RunContext& ctx);
// The same as one kind's share of a run.
std::unique_ptr<KindPass> issuesFifoPass(RunContext& ctx);

// What the step does its own way; its statements are the ones it runs.
extern const FifoStep kIssuesFifoStep;

}  // namespace talvix
