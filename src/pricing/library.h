#pragma once
// Our pricing library: FIFO and weighted-average costs, last purchase prices, stock figures, the
// default period, blocked days, the operation log and the run timer, computed from the stock
// database behind its data module.
#include "data/pricing_library.h"

#include <memory>

namespace talvix::pricing {

// Creates the library and its data module (not yet connected).
std::unique_ptr<PricingLibrary> MainFormDatiDll();

}  // namespace talvix::pricing
