#include "fifo/balances_fifo.h"

#include "step/price_decision.h"
#include "fifo/rule_pricer.h"

namespace talvix {

namespace {
constexpr const DocumentKindRow& kRow = kindRow(DocumentKind::Balance);
}  // namespace

constexpr FifoStep kBalancesFifoStep{
    .kind = kRow.kind,
    .heading = kRow.texts.fifoHeading,
    .blankLineAfterHeading = true,
    .operationLabel = kRow.texts.fifoLabel,
    .operationKey = kRow.texts.operationKey,
    .reset = {.kind = kRow.kind,
              .selectSql = kRow.fifo.reset,
              .oneStatement = true,
              .firstCounter = 0,
              .repaintEachLine = false,
              .stopAfterOneStatement = false},
    .selectSql = kRow.fifo.select,
    .selectOrder = kRow.fifo.order,
    .updateSql = kRow.fifo.update,
    .costParameter = kRow.tables.cost,
    .salePriceColumn = kRow.tables.salePrice,
    .firstCounter = 1,
    // Every write was committed at once; the other kinds' last commit is not repeated here.
    .commitAfterLoop = false,
    .closing = kRow.texts.fifoClosing,
};

std::unique_ptr<KindPass> balancesFifoPass(RunContext& ctx) {
  return std::make_unique<FifoPass>(ctx, kBalancesFifoStep, std::make_unique<RulePricer>(ctx, kRow.kind));
}

void AssignBalancesFifo(RunContext& ctx) { runAlone(ctx, *balancesFifoPass(ctx)); }

}  // namespace talvix
