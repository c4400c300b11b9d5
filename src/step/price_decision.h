#pragma once
// The one place that decides a line's cost: which rule prices it under the run's method and
// options, the price, and the facts the price came from. The runs write the price; the report of
// lines without cost and explain render the facts. A decider reads through the run's library and
// look-ups, as the run does, so the three cannot disagree; its lookup query is its own.
#include "data/client_sale.h"
#include "data/query.h"
#include "step/document_line.h"
#include "step/price_lookups.h"
#include "step/price_rule.h"
#include "step/run_context.h"

namespace talvix {

// chkIMEI ticked, serial record above 10 and quantity exactly 1.
bool serialRuleApplies(const RunSettings& settings, int serial, double quantity);

// The first source in the kind's FIFO order (its row) whose condition holds; NotProcessed for a
// kind with no order (a return, whose cost FindReturnCost finds).
PriceRule fifoRule(DocumentKind kind, const RunSettings& settings, int serial, double quantity);

// The last purchase price when asked for, else the moving average.
inline PriceRule averageRule(const RunSettings& settings) {
  return settings.lastPurchasePrice ? PriceRule::LastPurchasePrice : PriceRule::WeightedAverage;
}

// Whether the weighted-average run prices the kinds with joint statements in one step: when it
// processes every one of them.
inline bool jointAverageStep(const RunSettings& settings) {
  for (const DocumentKindRow& row : kDocumentKinds)
    if (row.joint.select && settings.mode(row.kind) == kSkip) return false;
  return true;
}
inline bool inJointAverageStep(DocumentKind kind, const RunSettings& settings) {
  return kindRow(kind).joint.select && jointAverageStep(settings);
}

// Whether the weighted-average run's step for kind takes the services filter: the joint step and a
// kind priced by its FIFO step do, else as its own step's row says.
inline bool averageStepFiltersServices(DocumentKind kind, const RunSettings& settings) {
  const DocumentKindRow& row = kindRow(kind);
  return inJointAverageStep(kind, settings) || !row.average.select || row.averageHow.servicesFilter;
}

// A service the run never selects, under the services option.
inline bool serviceLeftOut(DocumentKind kind, const RunSettings& settings, StockMethod method, bool service) {
  return service && settings.skipServices &&
         (method == StockMethod::Fifo || averageStepFiltersServices(kind, settings));
}

// The moving average's two flags as the run's step for kind passes them: whether the line is a
// transfer, and whether its kind is priced alone (transfers and issues together are not).
struct AverageFlags {
  bool transfer;
  bool singleKind;
};
inline AverageFlags averageFlags(DocumentKind kind, const RunSettings& settings) {
  const AverageStepHow& how = kindRow(kind).averageHow;
  return {how.transfer, how.singleKind && !inJointAverageStep(kind, settings)};
}

// Returns of this origin (FROM_WHAT) are neither priced nor reset here.
inline constexpr int kUntouchedOrigin = 1;
// Whether the returns step prices the line at all (its origin is not kUntouchedOrigin).
bool returnPricedHere(const DocumentLine& line);

// What a price came from; only the facts of the decision's rule are filled.
struct PriceFacts {
  SerialReceipt receipt;        // Serial
  ClientSaleAnswer clientSale;  // ClientSale, and a return's client sale
  double balanceCost = 0.0;     // a client sale's fallback when no sale matched
  double stock = 0.0;           // Fifo: the stock and the day's outflow the library was given
  double dayQuantity = 0.0;
  AverageFlags average{false, false};  // WeightedAverage
};

struct PriceDecision {
  PriceRule rule = PriceRule::NotProcessed;
  double price = 0.0;  // finite
  PriceFacts facts;
};

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

class PriceDecider {
 public:
  // Looks up through the pass's snapshot, with what the pass itself wrote, as the run's selects do.
  PriceDecider(RunContext& ctx, DocumentKind kind, StockMethod method);

  // The rule alone, without reading anything (a return's is known only by deciding).
  PriceRule rule(const DocumentLine& line) const;
  // rule, price and facts; average: the flags the caller's step passes the moving average.
  PriceDecision decide(const DocumentLine& line);
  PriceDecision decide(const DocumentLine& line, PriceRule rule);
  PriceDecision decideAverage(const DocumentLine& line, AverageFlags flags);
  // A return's decision, with the facts of its stages.
  ReturnCost decideReturn(const DocumentLine& line);

 private:
  PriceDecision clientSale(const DocumentLine& line);
  PriceDecision fifo(const DocumentLine& line);

  RunContext& ctx_;
  DocumentKind kind_;
  StockMethod method_;
  Query lookup_;
  // The library's trail of the layers a price drew on; never read, so emptied before each price.
  std::vector<std::string> list_;
};

}  // namespace talvix
