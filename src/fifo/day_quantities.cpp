#include "fifo/day_quantities.h"

#include <string>

namespace talvix {
namespace {

// The day-quantity parts of every kind whose FIFO rule reads that table, in the rows' order, each
// grouped by its own department column.
std::string dayQuantitySql(FifoPricing::DayTable table, const std::string& servicesFilter) {
  std::string sql;
  for (const DocumentKindRow& row : kDocumentKinds) {
    if (row.fifoPricing.dayQuantities != table || !row.dayQuantity) continue;
    if (!sql.empty()) sql += "UNION ";
    sql += std::string(row.dayQuantity) + servicesFilter + " GROUP BY ISPRECE, " + row.tables.dept + ", DATUMS ";
  }
  return sql + "ORDER BY 1,2,3 ";
}

}  // namespace

std::string dayOutflowSql(const std::string& servicesFilter) {
  return dayQuantitySql(FifoPricing::DayTable::Outflow, servicesFilter);
}

std::string dayBalanceSql(const std::string& servicesFilter) {
  return dayQuantitySql(FifoPricing::DayTable::Balance, servicesFilter);
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
