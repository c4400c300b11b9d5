#pragma once
// Transfers by FIFO: every transfer line of the period without cost gets the sending department's
// FIFO cost (or the first-sale, serial or last-purchase price the options ask for).
#include "step/run_context.h"

namespace talvix {

void AssignTransfersFifo(RunContext& ctx);

}  // namespace talvix
