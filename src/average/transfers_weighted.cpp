#include "average/transfers_weighted.h"

#include "average/line_by_line.h"
#include "data/query.h"
#include "step/line_reset.h"
#include "step/operation_entry.h"

#include <string>

namespace talvix {
namespace {

constexpr const DocumentKindRow& kRow = kindRow(DocumentKind::Transfer);

}  // namespace

// Transfers of services are priced too: this select takes no services filter.
constexpr AverageStepSql kTransfersWeightedSql{
    .kind = kRow.kind,
    .select = kRow.average.select,
    .order = kRow.average.order,
    .update = kRow.average.update};

namespace {

constexpr AverageKindStep kStep{.sql = kTransfersWeightedSql,
                                .heading = kRow.texts.averageHeading,
                                .closing = kRow.texts.averageClosing,
                                .operationKey = kRow.texts.operationKey,
                                .servicesFilter = false,
                                .calculatorFirst = false,
                                .repaintAfterClosing = false,
                                .how = {.costParameter = kRow.tables.cost, .transfer = true, .singleKind = true, .firstCounter = 0, .repaintEachLine = false, .commitEachLine = true}};

}  // namespace

std::unique_ptr<KindPass> transfersWeightedPass(RunContext& ctx) { return std::make_unique<AveragePass>(ctx, kStep); }

void AssignTransfersWeighted(RunContext& ctx) { runAlone(ctx, *transfersWeightedPass(ctx)); }

}  // namespace talvix
