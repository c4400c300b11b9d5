#include "step/line_reset.h"

#include "step/stop_request.h"

namespace talvix {
namespace {
constexpr const char* kDeleting = "Dzēšu ";
}

void bindPeriod(Query& query, const RunSettings& settings) {
  query.setDateTime("DAT_NO", settings.firstDay());
  query.setDateTime("DAT_LIDZ", settings.lastDay());
}

void resetLinesOneByOne(RunContext& ctx, Query& select, Query& update, const LineReset& reset) {
  update.setSql(reset.updateSql);
  select.setSql(reset.selectSql);
  bindPeriod(select, ctx.settings);
  select.open();
  const int isn = select.fieldIndex("ISN");
  int counter = reset.firstCounter;
  for (select.first(); !select.eof(); select.next()) {
    ctx.log.AddProcessLine(kDeleting + std::to_string(counter), true);
    ++counter;
    if (reset.repaintEachLine) ctx.log.repaintWindow();
    update.setInteger("ISN", select.asInteger(isn));
    update.execSql();
    ctx.tran().commitRetaining();
    stopPoint();
  }
}

}  // namespace talvix
