#pragma once
// The stock figure a FIFO price starts from: PrecValid, plus ApgrozDaudzums when a confirmed
// goods-balance document of the goods stands in the department on that very date.
#include "run/run_context.h"

namespace talvix {

double StockQuantity(RunContext& ctx, int goods, int dept, DateTime date);

}  // namespace talvix
