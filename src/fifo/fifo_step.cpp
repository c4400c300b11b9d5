#include "fifo/fifo_step.h"

#include "data/query.h"
#include "step/held_cost.h"
#include "step/line_reset.h"
#include "step/operation_entry.h"
#include "step/stop_request.h"

#include <string>

namespace talvix {

void runFifoStep(RunContext& ctx, const FifoStep& step, FifoPricer& pricer) {
  ctx.log.AddProcessLine(step.heading, false);
  if (step.blankLineAfterHeading) ctx.log.AddProcessLine("", false);
  const int mode = ctx.settings.mode(step.kind);
  writeOperationEntry(ctx, step.operationLabel, step.operationKey, mode);
  if (mode == kAllAnew) resetCosts(ctx, step.reset);

  Query lines(ctx.db());
  lines.setTransaction(ctx.documents());
  lines.setSql(step.selectSql + ctx.state.ServicesFilter + step.selectOrder);
  bindPeriod(lines, ctx.settings);
  lines.open();
  Query update(ctx.db());
  update.setSql(step.updateSql);
  const std::string total = std::to_string(lines.rowCount());
  const DocumentLineFields fields(lines, step.salePriceColumn);
  const int held = lines.fieldIndex(step.costParameter);
  int counter = step.firstCounter;
  // Only a continuous pass looks at what changed since the last; another prices every line.
  const bool continuous = ctx.documents() != nullptr;
  for (lines.first(); !lines.eof(); lines.next()) {
    ctx.log.AddProcessLine(std::to_string(counter) + "/" + total, true);
    ++counter;
    const DocumentLine line = fields.read(lines);
    if (pricer.leavesAlone(line)) continue;
    if (continuous && ctx.state.quiet.quiet(step.kind, line.isn, line.goods)) {
      stopPoint();
      continue;
    }
    const PricedLine priced = pricer.price(line);
    if (!HeldCost::of(lines, held).same(priced.price)) {
      update.setDouble(step.costParameter, priced.price);
      update.setInteger("ISN", line.isn);
      update.execSql();
      if (continuous) {
        ctx.state.quiet.wrote(step.kind, line.isn, line.goods);
        ctx.state.written.wrote(step.kind, line.isn, priced.price);
      }
      if (priced.commitNow) ctx.commitIfActive();
    } else if (continuous) {
      ctx.state.quiet.wroteNothing(step.kind, line.isn, line.goods);
    }
    stopPoint();
  }
  if (step.commitAfterLoop) ctx.commitIfActive();
  if (step.closing) ctx.log.AddProcessLine(step.closing, false);
}

}  // namespace talvix
