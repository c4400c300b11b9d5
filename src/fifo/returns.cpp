#include "fifo/returns.h"

#include "fifo/fifo_step.h"
#include "step/price_decision.h"

namespace talvix {

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
  return std::make_unique<FifoPass>(ctx, DocumentKind::Return, std::make_unique<ReturnPricer>(ctx));
}

}  // namespace talvix
