#include "average/issues_weighted.h"

#include "data/query.h"
#include "run/finite_price.h"
#include "run/stop_request.h"

#include <string>

namespace talvix {
namespace {

constexpr const char* kHeading = "Aprēķinu izrakstīšanu ...";
constexpr const char* kDone = "Izrakstīšana sadalīta";
constexpr const char* kLogLabel = "AUTO IEP.SAD.";
constexpr const char* kLogKey = "IZR=";

constexpr const char* kSelectSql =
    "SELECT O_PRCOUT.IEP_CENA, O_PAVOUT.DATUMS,            O_PAVOUT.ISNODALA, O_PRCOUT.ISPRECE,            "
    "O_PRCOUT.DAUDZUMS, O_PRCOUT.ISN           FROM O_PAVOUT, O_PRCOUT, N_KLPREC           WHERE O_PAVOUT.ISN = "
    "O_PRCOUT.ISPAVOUT             AND O_PRCOUT.ISPRECE = N_KLPREC.ISN             AND O_PAVOUT.DATUMS BETWEEN "
    ":DAT_NO AND :DAT_LIDZ             AND (O_PRCOUT.IEP_CENA=0.00 OR O_PRCOUT.IEP_CENA IS NULL) ";
constexpr const char* kSelectOrder = " ORDER BY DATUMS ";
constexpr const char* kUpdateSql = "UPDATE O_PRCOUT SET IEP_CENA = :IEP_CENA WHERE ISN=:ISN";

}  // namespace

void AssignIssuesWeighted(RunContext& ctx) {
  const RunSettings& s = ctx.settings;
  ctx.log.AddProcessLine(kHeading, false);
  ctx.log.AddProcessLine("", false);

  Query update(ctx.db());
  ctx.pricing.PutInOperacija(kLogLabel, todayLocal(), "", kLogKey + std::to_string(s.issues), 0, periodLogText(s),
                             nullptr, 0);
  update.setSql(kUpdateSql);
  TVidSvPasizm& average = ctx.average();

  Query select(ctx.db());
  select.setSql(std::string(kSelectSql) + ctx.state.ServicesFilter + kSelectOrder);
  select.setDateTime("DAT_NO", s.firstDay());
  select.setDateTime("DAT_LIDZ", s.lastDay());
  select.open();
  const int total = select.rowCount();
  const int isn = select.fieldIndex("ISN"), goods = select.fieldIndex("ISPRECE"),
            dept = select.fieldIndex("ISNODALA"), date = select.fieldIndex("DATUMS");

  int counter = 0;
  for (select.first(); !select.eof(); select.next()) {
    ctx.log.AddProcessLine(std::to_string(counter) + "/" + std::to_string(total), true);
    ++counter;
    update.setInteger("ISN", select.asInteger(isn));
    const double price =
        s.lastPurchasePrice
            ? ctx.pricing.GetPedIepCena(select.asInteger(goods), select.asInteger(dept), 0, select.asDateTime(date))
            : average.GetVidSvPasizmaksa(select.asInteger(goods), select.asInteger(dept), select.asDateTime(date),
                                         false, true);
    update.setDouble("IEP_CENA", finitePrice(price));
    update.execSql();
    ctx.tran().commitRetaining();
    stopPoint();
  }
  ctx.commitIfActive();
  ctx.log.AddProcessLine(kDone, false);
  ctx.log.repaintWindow();
}

}  // namespace talvix
