#include "fifo/fifo_rules.h"

namespace talvix {

namespace {
constexpr int kLastPlainSerial = 10;  // serial records 0 to 10 never ask for the receipt price
}

bool serialRuleApplies(const RunSettings& settings, int serial, double quantity) {
  return settings.serialLookup && serial > kLastPlainSerial && quantity == 1.0;
}

PriceRule transferRuleFifo(const RunSettings& settings, int serial, double quantity) {
  if (serialRuleApplies(settings, serial, quantity)) return PriceRule::Serial;
  if (settings.firstSalePrice) return PriceRule::FirstSalePrice;
  if (settings.lastPurchasePrice) return PriceRule::LastPurchasePrice;
  return PriceRule::Fifo;
}

PriceRule issueRuleFifo(const RunSettings& settings, int serial, double quantity) {
  if (settings.firstSalePrice) return PriceRule::FirstSalePrice;
  if (serialRuleApplies(settings, serial, quantity)) return PriceRule::Serial;
  if (settings.lastPurchasePrice) return PriceRule::LastPurchasePrice;
  if (quantity < 0.0) return PriceRule::ClientSale;
  return PriceRule::Fifo;
}

PriceRule balanceRuleFifo(const RunSettings& settings, int serial, double quantity) {
  if (serialRuleApplies(settings, serial, quantity)) return PriceRule::Serial;
  if (settings.lastPurchasePrice) return PriceRule::LastPurchasePrice;
  return PriceRule::Fifo;
}

}  // namespace talvix
