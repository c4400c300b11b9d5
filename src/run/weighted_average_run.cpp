#include "run/weighted_average_run.h"

#include "average/balances_weighted.h"
#include "average/issues_weighted.h"
#include "average/transfers_issues_weighted.h"
#include "average/transfers_weighted.h"
#include "fifo/returns.h"
#include "registry/registry_store.h"
#include "run/date_order.h"
#include "step/line_reset.h"
#include "step/price_rule.h"
#include "step/run_stamp.h"

#include <memory>
#include <string>
#include <vector>

namespace talvix {
namespace {

constexpr const char* kHeading = "Piešķir vidējā svērtā";
constexpr const char* kDone = "Vidējā svērtā piešķiršana pabeigta ";
constexpr const char* kStampKey = "Software\\ORMANTA\\Talvix\\IepCenSad";

constexpr KindReset kTransferReset{
    .kind = DocumentKind::Transfer,
    .selectSql = kindRow(DocumentKind::Transfer).average.reset,
    .oneStatement = false,
    .firstCounter = 0,
    .repaintEachLine = false,
    .stopAfterOneStatement = false};
constexpr KindReset kIssueReset{
    .kind = DocumentKind::Issue,
    .selectSql = kindRow(DocumentKind::Issue).average.reset,
    .oneStatement = false,
    .firstCounter = 0,
    .repaintEachLine = true,
    .stopAfterOneStatement = false};
constexpr KindReset kBalanceReset{
    .kind = DocumentKind::Balance,
    .selectSql = kindRow(DocumentKind::Balance).average.reset,
    .oneStatement = true,
    .firstCounter = 0,
    .repaintEachLine = false,
    .stopAfterOneStatement = true};

constexpr unsigned bit(DocumentKind kind) { return 1u << kindIndex(kind); }

// One row per step in the order the run takes them: a step runs when every kind it names is
// processed and no earlier step took one of them, so transfers and issues processed together go
// through the joint step.
struct AverageStep {
  unsigned kinds;  // bits of DocumentKind
  std::unique_ptr<KindPass> (*pass)(RunContext&);
};
constexpr AverageStep kAverageSteps[] = {
    {bit(DocumentKind::Balance), balancesWeightedPass},
    {bit(DocumentKind::Transfer) | bit(DocumentKind::Issue), transfersIssuesWeightedPass},
    {bit(DocumentKind::Transfer), transfersWeightedPass},
    {bit(DocumentKind::Issue), issuesWeightedPass},
    {bit(DocumentKind::Return), returnsPass},
};

void runSteps(RunContext& ctx) {
  unsigned waiting = 0;
  for (const DocumentKind kind : kAllKinds)
    if (ctx.settings.mode(kind) != kSkip) waiting |= bit(kind);
  std::vector<std::unique_ptr<KindPass>> passes;
  for (const AverageStep& step : kAverageSteps) {
    if ((waiting & step.kinds) != step.kinds) continue;
    waiting &= ~step.kinds;
    passes.push_back(step.pass(ctx));
  }
  priceInDateOrder(ctx, passes, StockMethod::WeightedAverage);
}

}  // namespace

constexpr const KindReset* kAverageResetOfKind[kKindCount] = {&kTransferReset, &kIssueReset, nullptr, &kBalanceReset};

void ResetCosts(RunContext& ctx) {
  for (const DocumentKind kind : kKindsInRunOrder) {
    const KindReset* reset = kAverageResetOfKind[kindIndex(kind)];
    if (reset && ctx.settings.mode(kind) == kAllAnew) resetCosts(ctx, *reset);
  }
}

void WeightedAverageRun(RunContext& ctx) {
  const RunSettings& s = ctx.settings;
  ctx.log.AddProcessLine(kHeading, false);
  ctx.log.repaintWindow();
  const std::unique_ptr<TMylaiks> timer = ctx.pricing.newMylaiks();
  timer->SetTime();
  ctx.pricing.ExpectPeriod(ctx.settings.dateFrom, ctx.settings.dateTo);
  ctx.state.ServicesFilter = s.skipServices ? kServicesFilterText : "";
  ctx.average();

  ResetCosts(ctx);
  runSteps(ctx);
  ctx.commitIfActive();

  if (!ctx.preview) stampLastRun(ctx.registry, kStampKey);
  ctx.log.AddProcessLine(kDone + timer->FillLineStundas(), false);
}

}  // namespace talvix
