#pragma once
// Each kind's FIFO step, built from its row: the rule pricer for the kinds the library's FIFO cost
// reaches, the returns' own pricer for returns (returns.h).
#include "fifo/fifo_step.h"
#include "step/run_context.h"

#include <memory>

namespace talvix {

// The kind's share of a run.
std::unique_ptr<KindPass> fifoPass(RunContext& ctx, DocumentKind kind);
// The kind's step run alone, as a run of that kind only runs it.
void assignFifo(RunContext& ctx, DocumentKind kind);

}  // namespace talvix
