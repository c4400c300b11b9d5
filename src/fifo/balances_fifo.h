#pragma once
// Goods-balance documents by FIFO.
#include "step/run_context.h"

namespace talvix {

void AssignBalancesFifo(RunContext& ctx);

}  // namespace talvix
