#include "report/line_selects.h"

namespace talvix {
namespace {

constexpr const char* kInteger = "INTEGER";
constexpr const char* kDouble = "DOUBLE PRECISION";

// "T.COLUMN", named as when the column has another name.
std::string named(const std::string& table, const char* name, const std::string& as) {
  return table + "." + name + (as == name ? "" : " " + as);
}

// The same, or a typed 0 named as when the kind has no such column.
std::string orZero(const std::string& table, const char* name, const std::string& as, const char* zeroType) {
  return name ? named(table, name, as) : std::string("CAST(0 AS ") + zeroType + ") " + as;
}

// ", T.COLUMN", or nothing when the kind has no such column.
std::string optional(const std::string& table, const char* name) { return name ? ", " + table + "." + name : ""; }

}  // namespace

std::string unpricedLinesSql(DocumentKind kind) {
  const DocumentTables& t = tablesOf(kind);
  const std::string h = t.header, l = t.lines, date = h + "." + t.date, cost = l + "." + t.cost;
  return "SELECT " + l + ".ISN, " + named(h, t.date, "DATUMS") + ", " + named(h, t.dept, "ISNODALA") + ", " + l +
         ".ISPRECE, " + l + ".DAUDZUMS, " + orZero(l, t.tax, "NODOKLIS", kDouble) + ", " + l + ".ISSERTIF, " +
         orZero(h, t.client, "ISKLIENT", kInteger) + ", " + orZero(l, t.salePrice, "SALE_PRICE", kDouble) + ", " +
         orZero(l, t.markup, "PIECENOJ", kDouble) + ", " + orZero(h, t.origin, "FROM_WHAT", kInteger) +
         ", N_KLPREC.NOSAUKUMS, N_KLPREC.PAKALPOJ FROM " + h + ", " + l + ", N_KLPREC WHERE " + h + ".ISN = " + l +
         "." + t.headerKey + " AND " + l + ".ISPRECE = N_KLPREC.ISN AND " + date +
         " BETWEEN :DAT_NO AND :DAT_LIDZ AND (" + cost + "=0.00 OR " + cost + " IS NULL) ORDER BY " + date + ", " + l +
         ".ISN";
}

std::string lineByKeySql(DocumentKind kind) {
  const DocumentTables& t = tablesOf(kind);
  return "SELECT L.ISN, " + named("H", t.date, "DATUMS") + ", " + named("H", t.dept, "ISNODALA") +
         ", L.ISPRECE, L.DAUDZUMS" + optional("L", t.tax) + ", L.ISSERTIF" + optional("H", t.client) +
         optional("L", t.salePrice) + optional("L", t.markup) + optional("H", t.origin) + ", L." + t.cost +
         " COST, N.NOSAUKUMS, N.PAKALPOJ FROM " + t.lines + " L JOIN " + t.header + " H ON H.ISN = L." + t.headerKey +
         " JOIN N_KLPREC N ON N.ISN = L.ISPRECE WHERE L.ISN = :ISN";
}

std::string lineDateSql(DocumentKind kind) {
  const DocumentTables& t = tablesOf(kind);
  return std::string("SELECT H.") + t.date + " FROM " + t.lines + " L JOIN " + t.header + " H ON H.ISN = L." +
         t.headerKey + " WHERE L.ISN = :ISN";
}

}  // namespace talvix
