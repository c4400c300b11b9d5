#include "average/issues_weighted.h"

#include "average/line_by_line.h"
#include "data/query.h"
#include "step/line_reset.h"
#include "step/operation_entry.h"

#include <string>

namespace talvix {
namespace {

constexpr const char* kHeading = "Aprēķinu izrakstīšanu ...";
constexpr const char* kClosing = "Izrakstīšana sadalīta";
constexpr const char* kOperationLabel = "AUTO IEP.SAD.";
constexpr const char* kOperationKey = "IZR=";

}  // namespace

constexpr AverageStepSql kIssuesWeightedSql{
    .kind = DocumentKind::Issue,
    .select =
        "SELECT O_PRCOUT.IEP_CENA, O_PAVOUT.DATUMS,            O_PAVOUT.ISNODALA, O_PRCOUT.ISPRECE,            "
        "O_PRCOUT.DAUDZUMS, O_PRCOUT.ISN           FROM O_PAVOUT, O_PRCOUT, N_KLPREC           WHERE O_PAVOUT.ISN = "
        "O_PRCOUT.ISPAVOUT             AND O_PRCOUT.ISPRECE = N_KLPREC.ISN             AND O_PAVOUT.DATUMS BETWEEN "
        ":DAT_NO AND :DAT_LIDZ             AND (O_PRCOUT.IEP_CENA=0.00 OR O_PRCOUT.IEP_CENA IS NULL) ",
    .order = " ORDER BY DATUMS ",
    .update = "UPDATE O_PRCOUT SET IEP_CENA = :IEP_CENA WHERE ISN=:ISN"};

void AssignIssuesWeighted(RunContext& ctx) {
  const RunSettings& s = ctx.settings;
  ctx.log.AddProcessLine(kHeading, false);
  ctx.log.AddProcessLine("", false);

  Query update(ctx.db());
  writeOperationEntry(ctx, kOperationLabel, kOperationKey, s.issues);
  update.setSql(kIssuesWeightedSql.update);
  ctx.average();  // made before the select, also when the last purchase price is asked for

  Query select(ctx.db());
  select.setSql(kIssuesWeightedSql.select + ctx.state.ServicesFilter + kIssuesWeightedSql.order);
  bindPeriod(select, s);
  select.open();
  priceLineByLine(ctx, select, update,
                  {.costParameter = "IEP_CENA", .transfer = false, .singleKind = true, .firstCounter = 0,
                   .repaintEachLine = false, .commitEachLine = true});

  ctx.commitIfActive();
  ctx.log.AddProcessLine(kClosing, false);
  ctx.log.repaintWindow();
}

}  // namespace talvix
