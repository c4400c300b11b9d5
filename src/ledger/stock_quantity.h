#pragma once
// The stock figure a FIFO price starts from: PrecValid, plus ApgrozDaudzums when a confirmed
// goods-balance document of the goods stands in the department on that very date, read through
// transaction (null: the connection's default one).
#include "data/date_time.h"
#include "data/pricing_library.h"

namespace talvix {

double StockQuantity(PricingLibrary& pricing, int goods, int dept, DateTime date, Transaction* transaction = nullptr);

}  // namespace talvix
