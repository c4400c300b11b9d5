#pragma once
// Each kind's own weighted-average step, built from its row (line_by_line.h). Returns take the
// returns' step under both methods; transfers priced with issues take the joint step
// (transfers_issues_weighted.h).
#include "step/kind_pass.h"
#include "step/run_context.h"

#include <memory>

namespace talvix {

// The kind's share of a run; only for a kind whose row has weighted-average statements.
std::unique_ptr<KindPass> averagePass(RunContext& ctx, DocumentKind kind);
// The kind's step run alone, as a run of that kind only runs it.
void assignAverage(RunContext& ctx, DocumentKind kind);

}  // namespace talvix
