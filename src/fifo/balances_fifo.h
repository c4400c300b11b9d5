#pragma once
// Goods-balance documents by FIFO.
#include "run/run_context.h"

namespace talvix {

void AssignBalancesFifo(RunContext& ctx);

}  // namespace talvix
