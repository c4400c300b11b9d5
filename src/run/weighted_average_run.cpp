#include "run/weighted_average_run.h"

#include "average/balances_weighted.h"
#include "average/issues_weighted.h"
#include "average/transfers_issues_weighted.h"
#include "average/transfers_weighted.h"
#include "data/query.h"
#include "fifo/returns.h"
#include "registry/registry_store.h"
#include "step/line_reset.h"
#include "step/run_stamp.h"
#include "step/stop_request.h"

#include <memory>
#include <string>

namespace talvix {
namespace {

constexpr const char* kHeading = "Piešķir vidējā svērtā";
constexpr const char* kDone = "Vidējā svērtā piešķiršana pabeigta ";
constexpr const char* kStampKey = "Software\\ORMANTA\\Talvix\\IepCenSad";

constexpr const char* kResetBalancesSql =
    "UPDATE O_PRATL_PRC SET O_PRATL_PRC.IEP_CENA=0.0 WHERE ISN IN (SELECT O_PRATL_PRC.ISN            FROM "
    "O_PRATL_PAV, O_PRATL_PRC, N_KLPREC           WHERE O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV             AND "
    "O_PRATL_PRC.ISPRECE = N_KLPREC.ISN             AND O_PRATL_PAV.DATUMS >=:DAT_NO             AND "
    "O_PRATL_PAV.DATUMS <=:DAT_LIDZ ";
constexpr const char* kCloseSubquery = ") ";

constexpr const char* kResetTransferSql = "UPDATE O_PARPRC SET O_PARPRC.CENA=0.0 WHERE ISN=:ISN";
constexpr const char* kTransferLinesSql =
    "SELECT O_PARPRC.ISN            FROM O_PARPAV, O_PARPRC, N_KLPREC           WHERE O_PARPAV.ISN = "
    "O_PARPRC.ISPARVPAV             AND O_PARPRC.ISPRECE = N_KLPREC.ISN             AND O_PARPAV.DATUMS BETWEEN "
    ":DAT_NO AND :DAT_LIDZ ";

constexpr const char* kResetIssueSql = "UPDATE O_PRCOUT SET O_PRCOUT.IEP_CENA=0.0 WHERE ISN=:ISN";
constexpr const char* kIssueLinesSql =
    "SELECT O_PRCOUT.ISN            FROM O_PAVOUT, O_PRCOUT, N_KLPREC           WHERE O_PAVOUT.ISN = "
    "O_PRCOUT.ISPAVOUT             AND O_PRCOUT.ISPRECE = N_KLPREC.ISN             AND O_PAVOUT.DATUMS BETWEEN "
    ":DAT_NO AND :DAT_LIDZ ";

}  // namespace

void ResetCosts(RunContext& ctx) {
  const RunSettings& s = ctx.settings;
  const std::string& filter = ctx.state.ServicesFilter;
  Query update(ctx.db());
  Query select(ctx.db());
  if (s.balances == kAllAnew) {
    select.setSql(kResetBalancesSql + filter + kCloseSubquery);
    bindPeriod(select, s);
    select.execSql();
    ctx.tran().commitRetaining();
    stopPoint();
  }
  if (s.transfers == kAllAnew)
    resetLinesOneByOne(ctx, select, update, {kResetTransferSql, kTransferLinesSql + filter, 0, false});
  if (s.issues == kAllAnew)
    resetLinesOneByOne(ctx, select, update, {kResetIssueSql, kIssueLinesSql + filter, 0, true});
}

void WeightedAverageRun(RunContext& ctx) {
  const RunSettings& s = ctx.settings;
  ctx.log.AddProcessLine(kHeading, false);
  ctx.log.repaintWindow();
  const std::unique_ptr<TMylaiks> timer = ctx.pricing.newMylaiks();
  timer->SetTime();
  ctx.pricing.ExpectPeriod(ctx.settings.dateFrom, ctx.settings.dateTo);
  ctx.state.ServicesFilter = s.skipServices ? kServicesFilterText : "";
  ctx.average();

  ResetCosts(ctx);
  if (s.balances != kSkip) AssignBalancesWeighted(ctx);
  if (s.transfers != kSkip && s.issues != kSkip) {
    AssignTransfersIssuesWeighted(ctx);
  } else {
    if (s.transfers != kSkip) AssignTransfersWeighted(ctx);
    if (s.issues != kSkip) AssignIssuesWeighted(ctx);
  }
  if (s.returns != kSkip) AssignReturns(ctx);
  ctx.commitIfActive();

  if (!ctx.preview) stampLastRun(ctx.registry, kStampKey);
  ctx.log.AddProcessLine(kDone + timer->FillLineStundas(), false);
}

}  // namespace talvix
