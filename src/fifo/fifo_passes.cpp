#include "fifo/fifo_passes.h"

#include "fifo/returns.h"
#include "fifo/rule_pricer.h"

namespace talvix {

std::unique_ptr<KindPass> fifoPass(RunContext& ctx, DocumentKind kind) {
  if (kind == DocumentKind::Return) return returnsPass(ctx);
  return std::make_unique<FifoPass>(ctx, kind, std::make_unique<RulePricer>(ctx, kind));
}

void assignFifo(RunContext& ctx, DocumentKind kind) { runAlone(ctx, *fifoPass(ctx, kind)); }

}  // namespace talvix
