#pragma once
// The small price rules the FIFO steps and returns share: when the serial-number lookup applies,
// the first sale price without tax, a line's sale price and the 0.01 tolerance of a sale-price match.
#include "step/run_context.h"

namespace talvix {

// chkIMEI ticked, serial record above 10 and quantity exactly 1.
bool serialRuleApplies(const RunSettings& settings, int serial, double quantity);

// The goods' first sale price, divided by (tax x 0.01 + 1.0) unless the tax is 0.0.
double firstSalePriceWithoutTax(RunContext& ctx, int goods, double tax);

// CENA x (PIECENOJ x 0.01 + 1.0).
inline double salePrice(double price, double markup) { return price * (markup * 0.01 + 1.0); }

// Whether candidate lies within 0.01 of wanted, both bounds included.
inline bool sameSalePrice(double candidate, double wanted) {
  return candidate >= wanted - 0.01 && candidate <= wanted + 0.01;
}

}  // namespace talvix
