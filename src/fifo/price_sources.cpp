#include "fifo/price_sources.h"

namespace talvix {

namespace {
constexpr int kLastPlainSerial = 10;  // serial records 0 to 10 never ask for the receipt price
}

bool serialRuleApplies(const RunSettings& settings, int serial, double quantity) {
  return settings.serialLookup && serial > kLastPlainSerial && quantity == 1.0;
}

double firstSalePriceWithoutTax(RunContext& ctx, int goods, double tax) {
  double price = ctx.pricing.newKlprecInfo(goods)->FirstSalePrice();
  if (tax != 0.0) price = price / (tax * 0.01 + 1.0);
  return price;
}

}  // namespace talvix
