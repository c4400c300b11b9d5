#include "fifo/issues_fifo.h"

#include "step/price_decision.h"
#include "fifo/rule_pricer.h"

namespace talvix {

namespace {
constexpr const DocumentKindRow& kRow = kindRow(DocumentKind::Issue);
}  // namespace

constexpr FifoStep kIssuesFifoStep{
    .kind = kRow.kind,
    .heading = kRow.texts.fifoHeading,
    .blankLineAfterHeading = true,
    .operationLabel = kRow.texts.fifoLabel,
    .operationKey = kRow.texts.operationKey,
    .reset = {.kind = kRow.kind,
              .selectSql = kRow.fifo.reset,
              .oneStatement = false,
              .firstCounter = 0,
              .repaintEachLine = true,
              .stopAfterOneStatement = false},
    .selectSql = kRow.fifo.select,
    .selectOrder = kRow.fifo.order,
    .updateSql = kRow.fifo.update,
    .costParameter = kRow.tables.cost,
    .salePriceColumn = kRow.tables.salePrice,
    .firstCounter = 0,
    .commitAfterLoop = true,
    .closing = kRow.texts.fifoClosing,
};

std::unique_ptr<KindPass> issuesFifoPass(RunContext& ctx) {
  return std::make_unique<FifoPass>(ctx, kIssuesFifoStep, std::make_unique<RulePricer>(ctx, kRow.kind));
}

void AssignIssuesFifo(RunContext& ctx) { runAlone(ctx, *issuesFifoPass(ctx)); }

}  // namespace talvix
