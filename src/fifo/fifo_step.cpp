#include "fifo/fifo_step.h"

#include "data/query.h"
#include "step/held_cost.h"
#include "step/line_reset.h"
#include "step/operation_entry.h"
#include "step/stop_request.h"

#include <deque>
#include <memory>
#include <string>

namespace talvix {

namespace {

// What a step's select with its values is known by between passes.
std::string selectionKey(const std::string& sql, const RunSettings& settings) {
  return sql + '\n' + std::to_string(settings.firstDay()) + '\n' + std::to_string(settings.lastDay());
}

// The lines without cost, from the statement, or as the last continuous pass selected them while
// none of the tables the statement reads changed.
QuietLines::Lines selectLines(RunContext& ctx, const DocumentKindRow& row, bool continuous) {
  const std::string sql = row.fifo.select + ctx.state.ServicesFilter + row.fifo.order;
  const std::string key = continuous ? selectionKey(sql, ctx.settings) : std::string();
  if (continuous)
    if (QuietLines::Lines kept = ctx.state.quiet.selection(row.kind, key)) return kept;
  Query lines(ctx.db());
  lines.setTransaction(ctx.documents());
  lines.setSql(sql);
  bindPeriod(lines, ctx.settings);
  lines.openStream();  // held once, as lines, not also as rows
  const DocumentLineFields fields(lines, row.tables.salePrice);
  const int held = lines.fieldIndex(row.tables.cost);
  auto selected = std::make_shared<std::deque<QuietLines::Selected>>();
  while (lines.fetch()) selected->push_back({fields.read(lines), HeldCost::of(lines, held)});
  if (continuous) ctx.state.quiet.selected(row.kind, key, selected);
  return selected;
}

}  // namespace

void FifoPass::begin(bool alone) {
  const int mode = ctx_.settings.mode(row_.kind);
  const bool resetCounts = mode == kAllAnew && !row_.fifoHow.reset.oneStatement;
  writeHeading(ctx_, row_.texts.fifoHeading, row_.fifoHow.blankLineAfterHeading, alone, resetCounts);
  writeOperationEntry(ctx_, row_.texts.fifoLabel, row_.texts.operationKey, mode);
  if (mode == kAllAnew) resetCosts(ctx_, row_.fifoHow.reset);
  continuous_ = ctx_.documents() != nullptr;
  lines_ = selectLines(ctx_, row_, continuous_);
  update_ = std::make_unique<Query>(ctx_.db());
  update_->setSql(row_.fifo.update);
}

std::size_t FifoPass::unitEnd(std::size_t first) const {
  std::size_t end = first + 1;
  if (!row_.fifoHow.unitsByKey) return end;
  const DocumentLine& head = line(first);
  while (end < size() && line(end).date == head.date && line(end).dept == head.dept && line(end).goods == head.goods)
    ++end;
  return end;
}

void FifoPass::price(std::size_t first, std::size_t end, LineCounter& counter) {
  for (std::size_t i = first; i < end; ++i) {
    counter.next();
    priceLine((*lines_)[i]);
  }
}

void FifoPass::priceLine(const QuietLines::Selected& selected) {
  const auto& [line, held] = selected;
  if (pricer_->leavesAlone(line)) return;
  if (continuous_ && ctx_.state.quiet.quiet(row_.kind, line.isn, line.goods)) {
    stopPoint();
    return;
  }
  const PricedLine priced = pricer_->price(line);
  if (!held.same(priced.price)) {
    update_->setDouble(row_.tables.cost, priced.price);
    update_->setInteger("ISN", line.isn);
    update_->execSql();
    if (continuous_) {
      ctx_.state.quiet.wrote(row_.kind, line.isn, line.goods);
      ctx_.state.written.wrote(row_.kind, line.isn, priced.price);
    }
    if (priced.commitNow) ctx_.commitIfActive();
  } else if (continuous_) {
    ctx_.state.quiet.wroteNothing(row_.kind, line.isn, line.goods);
  }
  stopPoint();
}

void FifoPass::end() {
  update_.reset();
  if (row_.fifoHow.commitAfterLoop) ctx_.commitIfActive();
  if (row_.texts.fifoClosing) ctx_.log.AddProcessLine(row_.texts.fifoClosing, false);
}

}  // namespace talvix
