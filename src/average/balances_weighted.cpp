#include "average/balances_weighted.h"

#include "run/finite_price.h"
#include "data/query.h"

#include <string>

namespace talvix {
namespace {

constexpr const char* kHeading = "Aprēķinu atlikumus vidējā svērtā metode ...";
constexpr const char* kClosing = "Atlikumi vidējā svērtā metode pabeigta";
constexpr const char* kOperationLabel = "AUTO IEP.SAD.";
constexpr const char* kOperationKey = "ATLIK=";

// No ORDER BY: the lines come in the database's order.
constexpr const char* kSelect =
    "SELECT O_PRATL_PRC.IEP_CENA, O_PRATL_PAV.DATUMS,            O_PRATL_PAV.ISNODALA, "
    "O_PRATL_PRC.ISPRECE,            O_PRATL_PRC.DAUDZUMS, O_PRATL_PRC.ISN           FROM "
    "O_PRATL_PAV, O_PRATL_PRC, N_KLPREC           WHERE O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV     "
    "        AND O_PRATL_PRC.ISPRECE = N_KLPREC.ISN             AND O_PRATL_PAV.DATUMS >=:DAT_NO     "
    "        AND O_PRATL_PAV.DATUMS <=:DAT_LIDZ             AND (O_PRATL_PRC.IEP_CENA=0.00 OR "
    "O_PRATL_PRC.IEP_CENA IS NULL) ";
constexpr const char* kUpdate = "UPDATE O_PRATL_PRC SET IEP_CENA = :IEP_CENA WHERE ISN=:ISN";

}  // namespace

void AssignBalancesWeighted(RunContext& ctx) {
  const RunSettings& settings = ctx.settings;
  ctx.log.AddProcessLine(kHeading, false);
  ctx.log.AddProcessLine("", false);

  ctx.pricing.PutInOperacija(kOperationLabel, todayLocal(), "", kOperationKey + std::to_string(settings.balances),
                             0, periodLogText(settings), nullptr, 0);

  {
    Query update(ctx.db());
    update.setSql(kUpdate);

    Query select(ctx.db());
    select.setSql(kSelect + ctx.state.ServicesFilter);
    select.setDateTime("DAT_NO", settings.firstDay());
    select.setDateTime("DAT_LIDZ", settings.lastDay());
    select.open();
    const int fIsn = select.fieldIndex("ISN");
    const int fGoods = select.fieldIndex("ISPRECE");
    const int fDept = select.fieldIndex("ISNODALA");
    const int fDate = select.fieldIndex("DATUMS");

    const int total = select.rowCount();
    int counter = 1;
    for (select.first(); !select.eof(); select.next()) {
      ctx.log.AddProcessLine(std::to_string(counter) + "/" + std::to_string(total), true);
      ++counter;
      ctx.log.repaintWindow();
      const int goods = select.asInteger(fGoods);
      const int dept = select.asInteger(fDept);
      const DateTime date = select.asDateTime(fDate);
      update.setInteger("ISN", select.asInteger(fIsn));
      const double price = settings.lastPurchasePrice
                               ? ctx.pricing.GetPedIepCena(goods, dept, 0, date)
                               : ctx.average().GetVidSvPasizmaksa(goods, dept, date, false, false);
      update.setDouble("IEP_CENA", finitePrice(price));
      // Not committed here: the lines of this step become durable together, below.
      update.execSql();
    }
  }

  ctx.commitIfActive();
  ctx.log.AddProcessLine(kClosing, false);
  ctx.log.repaintWindow();
}

}  // namespace talvix
