#include "average/issues_weighted.h"

#include "average/line_by_line.h"
#include "data/query.h"
#include "step/line_reset.h"
#include "step/operation_entry.h"

#include <string>

namespace talvix {
namespace {

constexpr const DocumentKindRow& kRow = kindRow(DocumentKind::Issue);

}  // namespace

constexpr AverageStepSql kIssuesWeightedSql{
    .kind = kRow.kind,
    .select = kRow.average.select,
    .order = kRow.average.order,
    .update = kRow.average.update};

namespace {

constexpr AverageKindStep kStep{.sql = kIssuesWeightedSql,
                                .heading = kRow.texts.averageHeading,
                                .closing = kRow.texts.averageClosing,
                                .operationKey = kRow.texts.operationKey,
                                .servicesFilter = true,
                                .calculatorFirst = true,
                                .repaintAfterClosing = true,
                                .how = {.costParameter = kRow.tables.cost, .transfer = false, .singleKind = true, .firstCounter = 0, .repaintEachLine = false, .commitEachLine = true}};

}  // namespace

std::unique_ptr<KindPass> issuesWeightedPass(RunContext& ctx) { return std::make_unique<AveragePass>(ctx, kStep); }

void AssignIssuesWeighted(RunContext& ctx) { runAlone(ctx, *issuesWeightedPass(ctx)); }

}  // namespace talvix
