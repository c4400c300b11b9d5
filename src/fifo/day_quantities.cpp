#include "fifo/day_quantities.h"

#include <string>

namespace talvix {
namespace {

constexpr const char* kOutflowGroup = " GROUP BY ISPRECE, ISNODALANO, DATUMS UNION ";
constexpr const char* kGroupOrder = " GROUP BY ISPRECE, ISNODALA, DATUMS ORDER BY 1,2,3 ";

}  // namespace

std::string dayOutflowSql(const std::string& servicesFilter) {
  return kindRow(DocumentKind::Transfer).dayQuantity + servicesFilter + kOutflowGroup +
         kindRow(DocumentKind::Issue).dayQuantity + servicesFilter + kGroupOrder;
}

std::string dayBalanceSql(const std::string& servicesFilter) {
  return kindRow(DocumentKind::Balance).dayQuantity + servicesFilter + kGroupOrder;
}

void LoadDayQuantities(RunContext& ctx) {
  const std::string& filter = ctx.state.ServicesFilter;
  const DateTime first = ctx.settings.firstDay(), last = ctx.settings.lastDay();
  // Tables the pass did not clear were loaded by an earlier pass from documents that did not change.
  ctx.state.sqlDienDaudzums.keepOrLoadOnFirstUse(ctx.db(), dayOutflowSql(filter), first, last, ctx.documents());
  ctx.state.sqlDienDaudzAtlikumi.keepOrLoadOnFirstUse(ctx.db(), dayBalanceSql(filter), first, last,
                                                      ctx.documents());
}

}  // namespace talvix
