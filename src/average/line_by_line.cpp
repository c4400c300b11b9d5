#include "average/line_by_line.h"

#include "average/average_rules.h"
#include "pricing/finite_price.h"
#include "step/stop_request.h"

#include <string>

namespace talvix {

void priceLineByLine(RunContext& ctx, Query& select, Query& update, const LineByLine& how) {
  const bool lastPurchasePrice = averageRule(ctx.settings) == PriceRule::LastPurchasePrice;
  const int isn = select.fieldIndex("ISN"), goods = select.fieldIndex("ISPRECE"),
            dept = select.fieldIndex("ISNODALA"), date = select.fieldIndex("DATUMS");
  const std::string total = std::to_string(select.rowCount());
  int counter = how.firstCounter;
  for (select.first(); !select.eof(); select.next()) {
    ctx.log.AddProcessLine(std::to_string(counter) + "/" + total, true);
    ++counter;
    if (how.repaintEachLine) ctx.log.repaintWindow();
    update.setInteger("ISN", select.asInteger(isn));
    const int g = select.asInteger(goods), d = select.asInteger(dept);
    const DateTime t = select.asDateTime(date);
    const double price = lastPurchasePrice ? ctx.pricing.GetPedIepCena(g, d, 0, t)
                                           : ctx.average().GetVidSvPasizmaksa(g, d, t, how.transfer, how.singleKind);
    update.setDouble(how.costParameter, finitePrice(price));
    update.execSql();
    if (how.commitEachLine) {
      ctx.tran().commitRetaining();
      stopPoint();
    }
  }
}

}  // namespace talvix
