#pragma once
// Which source prices a line of each FIFO kind under the run's options: the steps price by it and
// the report of lines still without cost explains by it. A line answered Fifo may still take the
// remembered price of the line before it (last_priced_key.h), which came from the same source.
#include "step/price_rule.h"
#include "step/run_settings.h"

namespace talvix {

// chkIMEI ticked, serial record above 10 and quantity exactly 1.
bool serialRuleApplies(const RunSettings& settings, int serial, double quantity);

// Serial, first sale price, last purchase price, FIFO.
PriceRule transferRuleFifo(const RunSettings& settings, int serial, double quantity);
// First sale price, serial, last purchase price, client sale (negative quantity), FIFO.
PriceRule issueRuleFifo(const RunSettings& settings, int serial, double quantity);
// Serial, last purchase price, FIFO.
PriceRule balanceRuleFifo(const RunSettings& settings, int serial, double quantity);

// The rule of each kind, indexed by DocumentKind; a return has none (returns.h prices it).
using FifoRule = PriceRule (*)(const RunSettings& settings, int serial, double quantity);
inline constexpr FifoRule kFifoRuleOfKind[] = {transferRuleFifo, issueRuleFifo, nullptr, balanceRuleFifo};

}  // namespace talvix
