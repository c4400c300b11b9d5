#include "fifo/returns.h"

#include "fifo/fifo_step.h"
#include "step/price_decision.h"

namespace talvix {

namespace {
constexpr const DocumentKindRow& kRow = kindRow(DocumentKind::Return);
}  // namespace

constexpr FifoStep kReturnsStep{
    .kind = kRow.kind,
    .heading = kRow.texts.fifoHeading,
    .blankLineAfterHeading = false,
    .operationLabel = kRow.texts.fifoLabel,
    .operationKey = kRow.texts.operationKey,
    .reset = {.kind = kRow.kind,
              .selectSql = kRow.fifo.reset,
              .oneStatement = true,
              .firstCounter = 0,
              .repaintEachLine = false,
              .stopAfterOneStatement = false},
    .selectSql = kRow.fifo.select,
    .selectOrder = kRow.fifo.order,
    .updateSql = kRow.fifo.update,
    .costParameter = kRow.tables.cost,
    .salePriceColumn = kRow.tables.salePrice,
    .firstCounter = 1,
    .commitAfterLoop = true,
    .closing = kRow.texts.fifoClosing,
    .unitsByKey = false,
};

namespace {

// A cost from the client's sale is committed at once; the fallback waits for a later commit.
class ReturnPricer : public FifoPricer {
 public:
  explicit ReturnPricer(RunContext& ctx) : decider_(ctx, DocumentKind::Return, StockMethod::Fifo) {}
  bool leavesAlone(const DocumentLine& line) const override { return !returnPricedHere(line); }
  PricedLine price(const DocumentLine& line) override {
    const PriceDecision decision = decider_.decide(line);
    return {decision.price, decision.rule != PriceRule::BalanceStage};
  }

 private:
  PriceDecider decider_;
};

}  // namespace

std::unique_ptr<KindPass> returnsPass(RunContext& ctx) {
  return std::make_unique<FifoPass>(ctx, kReturnsStep, std::make_unique<ReturnPricer>(ctx));
}

void AssignReturns(RunContext& ctx) { runAlone(ctx, *returnsPass(ctx)); }

}  // namespace talvix
