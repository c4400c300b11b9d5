#include "average/balances_weighted.h"

#include "average/line_by_line.h"
#include "data/query.h"
#include "step/line_reset.h"
#include "step/operation_entry.h"

#include <string>

namespace talvix {
namespace {

constexpr const DocumentKindRow& kRow = kindRow(DocumentKind::Balance);

}  // namespace

constexpr AverageStepSql kBalancesWeightedSql{
    .kind = kRow.kind,
    .select = kRow.average.select,
    .order = kRow.average.order,
    .update = kRow.average.update};

namespace {

constexpr AverageKindStep kStep{.sql = kBalancesWeightedSql,
                                .heading = kRow.texts.averageHeading,
                                .closing = kRow.texts.averageClosing,
                                .operationKey = kRow.texts.operationKey,
                                .servicesFilter = true,
                                .calculatorFirst = false,
                                .repaintAfterClosing = true,
                                .how = {.costParameter = kRow.tables.cost, .transfer = false, .singleKind = false, .firstCounter = 1, .repaintEachLine = true, .commitEachLine = false}};

}  // namespace

std::unique_ptr<KindPass> balancesWeightedPass(RunContext& ctx) { return std::make_unique<AveragePass>(ctx, kStep); }

void AssignBalancesWeighted(RunContext& ctx) { runAlone(ctx, *balancesWeightedPass(ctx)); }

}  // namespace talvix
