#include "step/line_reset.h"

#include "step/stop_request.h"

#include <cstdint>

namespace talvix {
namespace {

constexpr const char* kDeleting = "Dzēšu ";
constexpr const char* kOneLine = "=:ISN";
constexpr const char* kSelectedLines = " IN (";
constexpr const char* kSelectedLinesEnd = ") ";

// "UPDATE <lines> SET <lines>.<cost>=0.0 WHERE ISN"
std::string resetHead(DocumentKind kind) {
  const DocumentTables& t = tablesOf(kind);
  const std::string lines = t.lines;
  return "UPDATE " + lines + " SET " + lines + "." + t.cost + "=0.0 WHERE ISN";
}

void resetLinesOneByOne(RunContext& ctx, const KindReset& reset) {
  Query select(ctx.db());
  Query update(ctx.db());
  update.setSql(lineResetSql(reset.kind));
  select.setSql(reset.selectSql + ctx.state.ServicesFilter);
  bindPeriod(select, ctx.settings);
  select.open();
  const int isn = select.fieldIndex("ISN");
  int counter = reset.firstCounter;
  std::int64_t done = 0;
  for (select.first(); !select.eof(); select.next()) {
    ctx.log.AddProcessLine(kDeleting + std::to_string(counter), true);
    ctx.log.progress(ProgressLog::Counting::Resetting, ++done, select.rowCount());  // the total "Dzēšu n" lacks
    ++counter;
    if (reset.repaintEachLine) ctx.log.repaintWindow();
    update.setInteger("ISN", select.asInteger(isn));
    update.execSql();
    ctx.commitIfActive();
    stopPoint();
  }
}

}  // namespace

void bindPeriod(Query& query, const RunSettings& settings) {
  query.setDateTime("DAT_NO", settings.firstDay());
  query.setDateTime("DAT_LIDZ", settings.lastDay());
}

std::string lineResetSql(DocumentKind kind) { return resetHead(kind) + kOneLine; }

std::string oneStatementResetSql(const KindReset& reset, const std::string& servicesFilter) {
  return resetHead(reset.kind) + kSelectedLines + reset.selectSql + servicesFilter + kSelectedLinesEnd;
}

void resetCosts(RunContext& ctx, const KindReset& reset) {
  if (!reset.oneStatement) {
    resetLinesOneByOne(ctx, reset);
    return;
  }
  Query update(ctx.db());
  update.setSql(oneStatementResetSql(reset, ctx.state.ServicesFilter));
  bindPeriod(update, ctx.settings);
  update.execSql();
  ctx.commitIfActive();
  if (reset.stopAfterOneStatement) stopPoint();
}

}  // namespace talvix
