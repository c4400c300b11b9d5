#include "fifo/day_quantities.h"

#include <string>

namespace talvix {
namespace {

constexpr const char* kOutflowSql1 =
    "SELECT O_PARPRC.ISPRECE, O_PARPAV.ISNODALANO ISNODALA, O_PARPAV.DATUMS, SUM(O_PARPRC.DAUDZUMS) DAUDZUMS, "
    "1 FLAG FROM O_PARPAV, O_PARPRC, N_KLPREC WHERE O_PARPAV.ISN = O_PARPRC.ISPARVPAV AND "
    "O_PARPRC.ISPRECE = N_KLPREC.ISN AND O_PARPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ";
constexpr const char* kOutflowSql2 =
    " GROUP BY ISPRECE, ISNODALANO, DATUMS UNION SELECT O_PRCOUT.ISPRECE, O_PAVOUT.ISNODALA, O_PAVOUT.DATUMS, "
    "SUM(O_PRCOUT.DAUDZUMS) DAUDZUMS, 2 FLAG FROM O_PAVOUT, O_PRCOUT, N_KLPREC WHERE "
    "O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT AND O_PRCOUT.ISPRECE = N_KLPREC.ISN AND "
    "O_PAVOUT.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ";
constexpr const char* kOutflowSql3 = " GROUP BY ISPRECE, ISNODALA, DATUMS ORDER BY 1,2,3 ";
constexpr const char* kBalanceSql1 =
    "SELECT O_PRATL_PRC.ISPRECE, O_PRATL_PAV.ISNODALA, O_PRATL_PAV.DATUMS, SUM(O_PRATL_PRC.DAUDZUMS) DAUDZUMS, "
    "3 FLAG FROM O_PRATL_PAV, O_PRATL_PRC, N_KLPREC WHERE O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV AND "
    "O_PRATL_PRC.ISPRECE = N_KLPREC.ISN AND O_PRATL_PAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ";
constexpr const char* kBalanceSql2 = " GROUP BY ISPRECE, ISNODALA, DATUMS ORDER BY 1,2,3 ";

}  // namespace

std::string dayOutflowSql(const std::string& servicesFilter) {
  return kOutflowSql1 + servicesFilter + kOutflowSql2 + servicesFilter + kOutflowSql3;
}

std::string dayBalanceSql(const std::string& servicesFilter) { return kBalanceSql1 + servicesFilter + kBalanceSql2; }

void LoadDayQuantities(RunContext& ctx) {
  const std::string& filter = ctx.state.ServicesFilter;
  const DateTime first = ctx.settings.firstDay(), last = ctx.settings.lastDay();
  // Tables the pass did not clear were loaded by an earlier pass from documents that did not change.
  ctx.state.sqlDienDaudzums.keepOrLoadOnFirstUse(ctx.db(), dayOutflowSql(filter), first, last, ctx.documents());
  ctx.state.sqlDienDaudzAtlikumi.keepOrLoadOnFirstUse(ctx.db(), dayBalanceSql(filter), first, last,
                                                      ctx.documents());
}

}  // namespace talvix
