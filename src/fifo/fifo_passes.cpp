#include "fifo/fifo_passes.h"

#include "fifo/returns.h"
#include "fifo/rule_pricer.h"

namespace talvix {

std::unique_ptr<KindPass> fifoPass(RunContext& ctx, DocumentKind kind) {
  // A kind whose row lists no sources is the returns': its own pricer.
  if (kindRow(kind).fifoPricing.order[0] == PriceRule::NotProcessed) return returnsPass(ctx);
  return std::make_unique<FifoPass>(ctx, kind, std::make_unique<RulePricer>(ctx, kind));
}

void assignFifo(RunContext& ctx, DocumentKind kind) { runAlone(ctx, *fifoPass(ctx, kind)); }

}  // namespace talvix
