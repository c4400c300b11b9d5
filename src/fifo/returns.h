#pragma once
// Returns from clients, under either method: priced from the unit's receipt, an earlier sale to the
// client at the same price, the latest goods-balance cost or the latest receipt price.
#include "step/document_line.h"
#include "step/price_rule.h"
#include "fifo/fifo_step.h"
#include "step/run_context.h"

#include <memory>

namespace talvix {

class Query;

void AssignReturns(RunContext& ctx);
// The same as one kind's share of a run.
std::unique_ptr<KindPass> returnsPass(RunContext& ctx);

// What the step does its own way; its statements are the ones it runs.
extern const FifoStep kReturnsStep;

// Returns of this origin (FROM_WHAT) are neither priced nor reset here.
inline constexpr int kUntouchedOrigin = 1;

// Whether the step prices the line at all (its origin is not kUntouchedOrigin).
bool returnPricedHere(const DocumentLine& line);

// The cost a return line gets and the rule that gave it: Serial or ClientSale when the client
// bought the goods on or before the return's day and the unit's receipt or a sale at the same
// price answered, else BalanceStage. Reads only; runs on lookup, replacing its text.
struct ReturnCost {
  PriceRule rule = PriceRule::BalanceStage;
  double price = 0.0;
  bool clientHasSales = false;
  bool serialReceiptFound = false;  // when the serial rule applied: whether a receipt carries the record
};
ReturnCost FindReturnCost(RunContext& ctx, Query& lookup, const DocumentLine& line);

}  // namespace talvix
