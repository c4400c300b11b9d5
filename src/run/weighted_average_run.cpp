#include "run/weighted_average_run.h"

#include "average/average_passes.h"
#include "average/transfers_issues_weighted.h"
#include "fifo/fifo_passes.h"
#include "registry/registry_store.h"
#include "run/date_order.h"
#include "run/run_tally.h"
#include "step/line_reset.h"
#include "step/price_decision.h"
#include "step/price_rule.h"
#include "step/run_stamp.h"
#include "step/whole_run.h"

#include <memory>
#include <string>
#include <vector>

namespace talvix {
namespace {

constexpr const char* kHeading = "Piešķir vidējā svērtā";
constexpr const char* kDone = "Vidējā svērtā piešķiršana pabeigta ";
constexpr const char* kStampKey = "Software\\ORMANTA\\Talvix\\IepCenSad";

// The kinds in run order, each by its own step but transfers and issues processed together, which
// go through the joint step where the first of them stands.
void runSteps(RunContext& ctx) {
  const RunSettings& s = ctx.settings;
  const bool joint = jointAverageStep(s);
  bool jointTaken = false;
  std::vector<std::unique_ptr<KindPass>> passes;
  for (const DocumentKind kind : kKindsInRunOrder) {
    if (s.mode(kind) == kSkip) continue;
    if (!kindRow(kind).average.select) {
      passes.push_back(fifoPass(ctx, kind));  // its FIFO step prices it under both methods
    } else if (!joint || !kindRow(kind).joint.select) {
      passes.push_back(averagePass(ctx, kind));
    } else if (!jointTaken) {
      jointTaken = true;
      passes.push_back(transfersIssuesWeightedPass(ctx));
    }
  }
  priceInDateOrder(ctx, passes, StockMethod::WeightedAverage);
}

}  // namespace

void ResetCosts(RunContext& ctx) {
  for (const DocumentKind kind : kKindsInRunOrder) {
    const KindReset& reset = kindRow(kind).averageHow.reset;
    if (reset.selectSql && ctx.settings.mode(kind) == kAllAnew) resetCosts(ctx, reset);
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

  ctx.reach = RunReach{.pricing = true};
  WholeRun whole(ctx);
  RunTally tally(ctx, false);
  ResetCosts(ctx);
  runSteps(ctx);
  ctx.commitIfActive();
  whole.commit();
  ctx.reach.pricing = false;
  closeWithSummary(ctx, tally);

  if (!ctx.preview) stampLastRun(ctx.registry, kStampKey);
  ctx.log.AddProcessLine(kDone + timer->FillLineStundas(), false);
}

}  // namespace talvix
