#include "average/transfers_weighted.h"

#include "run/finite_price.h"
#include "run/stop_request.h"
#include "data/query.h"

#include <string>

namespace talvix {
namespace {

constexpr const char* kHeading = "Aprēķinu pārvietošanu ...";
constexpr const char* kClosing = "Pārvietošana sadalīta";
constexpr const char* kOperationLabel = "AUTO IEP.SAD.";
constexpr const char* kOperationKey = "PARV=";

// Transfers of services are priced too: this select takes no services filter.
constexpr const char* kSelect =
    "SELECT O_PARPRC.CENA, O_PARPAV.DATUMS,         O_PARPAV.ISNODALANO ISNODALA, O_PARPRC.ISPRECE,  "
    "       O_PARPRC.DAUDZUMS, O_PARPRC.ISN, O_PARPRC.NODOKLIS        FROM O_PARPAV, O_PARPRC, "
    "N_KLPREC        WHERE O_PARPAV.ISN = O_PARPRC.ISPARVPAV          AND O_PARPRC.ISPRECE = "
    "N_KLPREC.ISN          AND O_PARPAV.DATUMS >=:DAT_NO          AND O_PARPAV.DATUMS <=:DAT_LIDZ    "
    "      AND (O_PARPRC.CENA=0.00 or O_PARPRC.CENA IS NULL) ";
constexpr const char* kOrder = " ORDER BY O_PARPAV.DATUMS, O_PARPRC.ISN ";
constexpr const char* kUpdate = "UPDATE O_PARPRC SET CENA=:CENA WHERE ISN=:ISN";

}  // namespace

void AssignTransfersWeighted(RunContext& ctx) {
  const RunSettings& settings = ctx.settings;
  ctx.log.AddProcessLine(kHeading, false);
  ctx.log.AddProcessLine("", false);

  ctx.pricing.PutInOperacija(kOperationLabel, todayLocal(), "", kOperationKey + std::to_string(settings.transfers),
                             0, periodLogText(settings), nullptr, 0);

  Query update(ctx.db());
  update.setSql(kUpdate);

  Query select(ctx.db());
  select.setSql(std::string(kSelect) + kOrder);
  select.setDateTime("DAT_NO", settings.firstDay());
  select.setDateTime("DAT_LIDZ", settings.lastDay());
  select.open();
  const int fIsn = select.fieldIndex("ISN");
  const int fGoods = select.fieldIndex("ISPRECE");
  const int fDept = select.fieldIndex("ISNODALA");  // the sending department
  const int fDate = select.fieldIndex("DATUMS");

  const int total = select.rowCount();
  int counter = 0;
  for (select.first(); !select.eof(); select.next()) {
    ctx.log.AddProcessLine(std::to_string(counter) + "/" + std::to_string(total), true);
    ++counter;
    const int goods = select.asInteger(fGoods);
    const int dept = select.asInteger(fDept);
    const DateTime date = select.asDateTime(fDate);
    update.setInteger("ISN", select.asInteger(fIsn));
    const double price = settings.lastPurchasePrice
                             ? ctx.pricing.GetPedIepCena(goods, dept, 0, date)
                             : ctx.average().GetVidSvPasizmaksa(goods, dept, date, true, true);
    update.setDouble("CENA", finitePrice(price));
    update.execSql();
    ctx.tran().commitRetaining();
    stopPoint();
  }

  ctx.commitIfActive();
  ctx.log.AddProcessLine(kClosing, false);
}

}  // namespace talvix
