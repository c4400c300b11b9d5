#pragma once
// Prices the lines of the kinds the library's FIFO cost can reach (transfers, issues, balances):
// each line's rule (fifo_rules.h) names its source, and a run of lines with equal date,
// department and goods takes the remembered price of its first (last_priced_key.h).
#include "data/query.h"
#include "fifo/fifo_rules.h"
#include "fifo/fifo_step.h"
#include "fifo/last_priced_key.h"

#include <string>
#include <vector>

namespace talvix {

struct FifoRules {
  FifoRule rule;
  DayQuantityTable SessionState::*dayQuantities;
  // Else 0.0: a goods-balance document states the stock itself.
  bool stockFromLedger;
  // Only transfers remember a last purchase price (the issue and balance rules say they do not);
  // no reason is given.
  bool lastPurchaseMovesKey;
};

class RulePricer : public FifoPricer {
 public:
  RulePricer(RunContext& ctx, const FifoRules& rules) : ctx_(ctx), rules_(rules), lookup_(ctx.db()) {
    // What the pass's selects saw, with what the pass itself wrote.
    lookup_.setTransaction(ctx.documents());
  }
  PricedLine price(const DocumentLine& line) override;

 private:
  double fifo(const DocumentLine& line);
  double remembered(const DocumentLine& line, double price);

  RunContext& ctx_;
  const FifoRules& rules_;
  Query lookup_;
  LastPricedKey key_;
  // The library's trail of the layers a price drew on; never read here, so emptied before each
  // price: kept, it grew by a line per layer for every line of the step.
  std::vector<std::string> list_;
};

}  // namespace talvix
