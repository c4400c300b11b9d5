#pragma once
// Transfers and issues together by weighted average, in date order, one price per run of lines of a
// goods and department up to its next stock-in.
#include "average/line_by_line.h"
#include "step/run_context.h"

#include <memory>

namespace talvix {

void AssignTransfersIssuesWeighted(RunContext& ctx);
// The same as the two kinds' share of a run.
std::unique_ptr<KindPass> transfersIssuesWeightedPass(RunContext& ctx);

// Its statements: the transfer half, the services filter, the issue half (" UNION ..."), the filter
// again and the issues' order (date, then transfers before issues, then goods, then department).
struct TransfersIssuesSql {
  AverageStepSql transfers;
  AverageStepSql issues;
  // The dates after :DATUMSNO on which the department took in the goods: receipts, transfers in
  // that already have a cost, and returns with a cost that count as stock-ins (FROM_WHAT 2).
  const char* stockIn;
};
extern const TransfersIssuesSql kTransfersIssuesSql;

}  // namespace talvix
