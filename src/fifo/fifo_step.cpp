#include "fifo/fifo_step.h"

#include "data/query.h"
#include "step/held_cost.h"
#include "step/line_reset.h"
#include "step/operation_entry.h"
#include "step/stop_request.h"

#include <string>
#include <deque>
#include <memory>

namespace talvix {

namespace {

// What a step's select with its values is known by between passes.
std::string selectionKey(const std::string& sql, const RunSettings& settings) {
  return sql + '\n' + std::to_string(settings.firstDay()) + '\n' + std::to_string(settings.lastDay());
}

// The lines without cost, from the statement, or as the last continuous pass selected them while
// none of the tables the statement reads changed.
QuietLines::Lines selectLines(RunContext& ctx, const FifoStep& step, bool continuous) {
  const std::string sql = step.selectSql + ctx.state.ServicesFilter + step.selectOrder;
  const std::string key = continuous ? selectionKey(sql, ctx.settings) : std::string();
  if (continuous)
    if (QuietLines::Lines kept = ctx.state.quiet.selection(step.kind, key)) return kept;
  Query lines(ctx.db());
  lines.setTransaction(ctx.documents());
  lines.setSql(sql);
  bindPeriod(lines, ctx.settings);
  lines.openStream();  // held once, as lines, not also as rows
  const DocumentLineFields fields(lines, step.salePriceColumn);
  const int held = lines.fieldIndex(step.costParameter);
  auto selected = std::make_shared<std::deque<QuietLines::Selected>>();
  while (lines.fetch()) selected->push_back({fields.read(lines), HeldCost::of(lines, held)});
  if (continuous) ctx.state.quiet.selected(step.kind, key, selected);
  return selected;
}

}  // namespace

void runFifoStep(RunContext& ctx, const FifoStep& step, FifoPricer& pricer) {
  ctx.log.AddProcessLine(step.heading, false);
  if (step.blankLineAfterHeading) ctx.log.AddProcessLine("", false);
  const int mode = ctx.settings.mode(step.kind);
  writeOperationEntry(ctx, step.operationLabel, step.operationKey, mode);
  if (mode == kAllAnew) resetCosts(ctx, step.reset);

  // Only a continuous pass looks at what changed since the last; another prices every line.
  const bool continuous = ctx.documents() != nullptr;
  const QuietLines::Lines lines = selectLines(ctx, step, continuous);
  Query update(ctx.db());
  update.setSql(step.updateSql);
  const std::string total = std::to_string(lines->size());
  int counter = step.firstCounter;
  for (const auto& [line, held] : *lines) {
    ctx.log.AddProcessLine(std::to_string(counter) + "/" + total, true);
    ++counter;
    if (pricer.leavesAlone(line)) continue;
    if (continuous && ctx.state.quiet.quiet(step.kind, line.isn, line.goods)) {
      stopPoint();
      continue;
    }
    const PricedLine priced = pricer.price(line);
    if (!held.same(priced.price)) {
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
