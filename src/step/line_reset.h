#pragma once
// Binding a run's period, and the reset of mode 2 that sets the cost of a kind's lines of the
// period to 0.0 before its step selects the lines without cost: one UPDATE of the selected lines,
// or one line at a time, while the last progress line counts "Dzēšu n"; committed with the run's
// prices at its end (whole_run.h). The
// updates are built from the kind's record; the select is the caller's (KindReset, in the row).
#include "data/query.h"
#include "step/run_context.h"

#include <string>

namespace talvix {

// DAT_NO and DAT_LIDZ as the period's whole dates.
void bindPeriod(Query& query, const RunSettings& settings);

// "UPDATE <lines> SET <lines>.<cost>=0.0 WHERE ISN=:ISN".
std::string lineResetSql(DocumentKind kind);
// The one statement with the services filter after the select.
std::string oneStatementResetSql(const KindReset& reset, const std::string& servicesFilter);

// With the session state's services filter.
void resetCosts(RunContext& ctx, const KindReset& reset);

}  // namespace talvix
