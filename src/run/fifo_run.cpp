#include "run/fifo_run.h"

#include "data/change_reach.h"
#include "fifo/day_quantities.h"
#include "fifo/fifo_passes.h"
#include "run/date_order.h"
#include "run/run_tally.h"
#include "step/price_rule.h"
#include "step/run_stamp.h"
#include "step/stop_request.h"
#include "step/whole_run.h"

#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace talvix {

namespace {

constexpr const char* kStartLine = "Sāku FIFO ...";
constexpr const char* kLoadingLine = "Sagatavoju dienas daudzumus ...";
constexpr const char* kEndLine = "FIFO piešķiršana pabeigta ";

// A pass with a kind in "all anew" must see its own resets, so it reads committed data throughout;
// it is a single pass the user starts, not the loop that runs beside other programs.
void startPassSnapshot(RunContext& ctx) {
  if (ctx.settings.anyAllAnew() || ctx.preview) {  // a preview's transaction is its snapshot
    ctx.state.endPassSnapshot();
    return;
  }
  ctx.state.restBetweenPasses();
  // Ended, not retained: an open transaction that once wrote a table keeps the watch from trusting
  // that table's write counts. The last pass committed its writes; nothing is pending here.
  ctx.db().defaultTransaction().commit();
  ctx.state.watch.beforeSnapshot(ctx.db());
  ctx.state.passSnapshot = std::make_unique<Transaction>(ctx.db(), Transaction::Kind::ReadOnlySnapshot);
  ctx.state.passSnapshot->handle();
}

// Ends the library's part in a pass however the pass ends.
struct PassInLibrary {
  PricingLibrary* pricing = nullptr;
  ~PassInLibrary() {
    if (pricing) pricing->PassEnded();
  }
};

}  // namespace

void FifoRun(RunContext& ctx) {
  ctx.state.ServicesFilter = ctx.settings.skipServices ? kServicesFilterText : "";
  ctx.log.AddProcessLine(kStartLine, false);
  const std::unique_ptr<TMylaiks> timer = ctx.pricing.newMylaiks();
  timer->SetTime();
  ctx.pricing.ExpectPeriod(ctx.settings.dateFrom, ctx.settings.dateTo);
  startPassSnapshot(ctx);
  ctx.reach = RunReach{.pricing = true};
  WholeRun whole(ctx);
  PassInLibrary inLibrary;
  bool keepDayQuantities = false;
  // The first look only sets the base for the next pass (it finds no change), so it waits until
  // this pass has priced; a run that ends with this pass never pays for it.
  bool baseAfterPass = false;
  if (Transaction* snapshot = ctx.documents()) {
    baseAfterPass = !ctx.state.watch.looked();
    const DocumentChanges changes = baseAfterPass ? DocumentChanges{} : ctx.state.watch.look(ctx.db(), *snapshot);
    // The library followed the last pass's cost writes as they were made, and a cost moves no
    // quantity; the quiet lines still see them, for a line no source priced may now be priced.
    const DocumentChanges others = changes.othersOnly();
    inLibrary.pricing = &ctx.pricing;
    ctx.pricing.PassStarted(*snapshot, others);
    ctx.state.quiet.passStarts(changes);
    ctx.state.written.clear();
    keepDayQuantities = !reachesDayQuantities(others);
  }

  if (!keepDayQuantities || ctx.settings.lastPurchasePrice) {
    ctx.state.sqlDienDaudzums.clear();
    ctx.state.sqlDienDaudzAtlikumi.clear();
  }
  if (!ctx.settings.lastPurchasePrice) {
    ctx.log.AddProcessLine(kLoadingLine, false);
    ctx.log.repaintWindow();
    LoadDayQuantities(ctx);
  }

  RunTally tally(ctx, ctx.documents() != nullptr);
  std::vector<std::unique_ptr<KindPass>> passes;
  for (const DocumentKind kind : kKindsInRunOrder)
    if (ctx.settings.mode(kind) != kSkip) passes.push_back(fifoPass(ctx, kind));
  priceInDateOrder(ctx, passes, StockMethod::Fifo);
  whole.commit();
  ctx.reach.pricing = false;
  closeWithSummary(ctx, tally);

  if (!ctx.preview) stampLastRun(ctx.registry, kSettingsKey);
  ctx.log.AddProcessLine(kEndLine, false);
  ctx.log.AddProcessLine(timer->FillLineStundas(), false);
  if (baseAfterPass) {
    stopPoint();
    ctx.state.watch.look(ctx.db(), *ctx.documents());
  }
}

}  // namespace talvix
