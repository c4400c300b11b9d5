#pragma once
// Prices the lines of the kinds the library's FIFO cost can reach (transfers, issues, balances) by
// their decision (price_decision.h), and a run of lines with equal date, department and goods
// takes the remembered price of its first (last_priced_key.h).
#include "fifo/fifo_step.h"
#include "fifo/last_priced_key.h"
#include "step/price_decision.h"

namespace talvix {

class RulePricer : public FifoPricer {
 public:
  RulePricer(RunContext& ctx, DocumentKind kind)
      : rules_(kindRow(kind).fifoPricing), decider_(ctx, kind, StockMethod::Fifo) {}
  PricedLine price(const DocumentLine& line) override;

 private:
  double remembered(const DocumentLine& line, double price);

  const FifoPricing& rules_;
  PriceDecider decider_;
  LastPricedKey key_;
};

}  // namespace talvix
