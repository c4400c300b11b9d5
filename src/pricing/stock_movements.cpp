#include "pricing/stock_movements.h"

#include "data/document_tables.h"
#include "pricing/finite_price.h"
#include "pricing/weighted_average.h"

#include <algorithm>
#include <cmath>

namespace talvix::pricing {
namespace {

// Each branch reaches the lines through their ISPRECE index and joins the header by its key;
// "+0" keeps the optimiser from driving the join through a header's department or date index,
// which would read every document of the department instead of the goods' few lines.
#define RECEIPT_PRICE "L.CENA*(1+COALESCE(L.ATLAIDE,0)/100)"
#define RECEIPTS TALVIX_GOODS_LINES("O_PRECE", "O_PAVADZ", "ISPAVADZ") " AND H.ISNODALA+0 = :ISNODALA"
#define TRANSFERS_IN TALVIX_GOODS_LINES("O_PARPRC", "O_PARPAV", "ISPARVPAV") " AND H.ISNODALAUZ+0 = :ISNODALA"
#define TRANSFERS_OUT TALVIX_GOODS_LINES("O_PARPRC", "O_PARPAV", "ISPARVPAV") " AND H.ISNODALANO+0 = :ISNODALA"
#define RETURNS TALVIX_GOODS_LINES("O_ATGPRC", "O_ATGPAV", "ISATGPAV") " AND H.ISNODALA+0 = :ISNODALA"
#define ISSUES TALVIX_GOODS_LINES("O_PRCOUT", "O_PAVOUT", "ISPAVOUT") " AND H.ISNODALA+0 = :ISNODALA"
#define BALANCES                                                                      \
  TALVIX_GOODS_LINES("O_PRATL_PRC", "O_PRATL_PAV", "ISPRATLPAV") " AND H.ISNODALA+0 = :ISNODALA" \
  " AND (H.NEAPSTIPR IS NULL OR H.NEAPSTIPR <> 'T')"

// Columns: KIND (MovementKind), ISN, DATUMS, DAUDZUMS, COST.
constexpr const char* kLayersSql =
    "SELECT 2 AS KIND, L.ISN, H.DAT_SANEM AS DATUMS, L.DAUDZUMS, " RECEIPT_PRICE " AS COST" RECEIPTS
    " AND H.DAT_SANEM+0 < :DAY_END AND L.DAUDZUMS > 0 AND " RECEIPT_PRICE " > 0"
    " UNION ALL SELECT 1, L.ISN, H.DATUMS, L.DAUDZUMS, L.CENA" TRANSFERS_IN
    " AND H.DATUMS+0 < :DAY_END AND L.DAUDZUMS > 0 AND L.CENA > 0"
    " UNION ALL SELECT 0, L.ISN, H.DATUMS, L.DAUDZUMS, L.IEP_CENA" RETURNS
    " AND H.DATUMS+0 < :DAY_END AND L.DAUDZUMS > 0 AND L.IEP_CENA > 0"
    " UNION ALL SELECT 3, L.ISN, H.DATUMS, L.DAUDZUMS, L.IEP_CENA" BALANCES
    " AND H.DATUMS+0 < :DAY_END AND L.DAUDZUMS > 0 AND L.IEP_CENA > 0";

constexpr const char* kAverageSql =
    "SELECT 2 AS KIND, L.ISN, H.DAT_SANEM AS DATUMS, COALESCE(L.DAUDZUMS,0) AS DAUDZUMS, " RECEIPT_PRICE
    " AS COST" RECEIPTS " AND H.DAT_SANEM+0 < :DAY_END AND " RECEIPT_PRICE " > 0"
    " UNION ALL SELECT 1, L.ISN, H.DATUMS, COALESCE(L.DAUDZUMS,0), L.CENA" TRANSFERS_IN
    " AND H.DATUMS+0 < :DAY_END AND L.CENA > 0"
    " UNION ALL SELECT 0, L.ISN, H.DATUMS, COALESCE(L.DAUDZUMS,0), L.IEP_CENA" RETURNS
    " AND H.DATUMS+0 < :DAY_END AND L.IEP_CENA > 0 AND H.FROM_WHAT = 2"
    " UNION ALL SELECT 3, L.ISN, H.DATUMS, COALESCE(L.DAUDZUMS,0), L.IEP_CENA" BALANCES
    " AND H.DATUMS+0 < :DAY_END AND L.IEP_CENA > 0"
    " UNION ALL SELECT 4, L.ISN, H.DATUMS, COALESCE(L.DAUDZUMS,0), 0" ISSUES " AND H.DATUMS+0 < :DAY_END"
    " UNION ALL SELECT 5, L.ISN, H.DATUMS, COALESCE(L.DAUDZUMS,0), 0" TRANSFERS_OUT " AND H.DATUMS+0 < :DAY_END";

// One signed sum per kind; the caller adds the rows.
constexpr const char* kStockSql =
    "SELECT SUM(L.DAUDZUMS) AS QTY" RECEIPTS " AND H.DAT_SANEM+0 < :DAY_END"
    " UNION ALL SELECT SUM(L.DAUDZUMS)" TRANSFERS_IN " AND H.DATUMS+0 < :DAY_END"
    " UNION ALL SELECT SUM(L.DAUDZUMS)" RETURNS " AND H.DATUMS+0 < :DAY_END"
    " UNION ALL SELECT SUM(L.DAUDZUMS)" BALANCES " AND H.DATUMS+0 < :DAY_START"
    " UNION ALL SELECT -SUM(L.DAUDZUMS)" ISSUES " AND H.DATUMS+0 < :DAY_START"
    " UNION ALL SELECT -SUM(L.DAUDZUMS)" TRANSFERS_OUT " AND H.DATUMS+0 < :DAY_START";

constexpr const char* kBalanceOnDaySql =
    "SELECT SUM(L.DAUDZUMS) AS QTY" BALANCES " AND H.DATUMS+0 >= :DAY_START AND H.DATUMS+0 < :DAY_END";

// Ordering by the day, not the time, also keeps the header's date index out of the plan.
#define LAST_PRICE_SQL(deptFilter)                                                                 \
  "SELECT FIRST 1 " RECEIPT_PRICE " AS COST" TALVIX_GOODS_LINES("O_PRECE", "O_PAVADZ", "ISPAVADZ") deptFilter \
  " AND H.DAT_SANEM+0 < :DAY_END AND " RECEIPT_PRICE " <> 0"                                         \
  " ORDER BY CAST(H.DAT_SANEM AS DATE) DESC, L.ISN DESC"
constexpr const char* kLastPriceSql = LAST_PRICE_SQL("");
constexpr const char* kLastPriceInDeptSql = LAST_PRICE_SQL(" AND H.ISNODALA+0 = :ISNODALA");

void bind(Query& query, int goods, int dept, DateTime date) {
  const DateTime dayStart = wholeDate(date);
  query.setInteger("ISPRECE", goods);
  if (query.hasParameter("ISNODALA")) query.setInteger("ISNODALA", dept);
  if (query.hasParameter("DAY_START")) query.setDateTime("DAY_START", dayStart);
  query.setDateTime("DAY_END", dayStart + 1);
}

}  // namespace

StockMovements::StockMovements(Connection& connection)
    : layers_(connection),
      average_(connection),
      stock_(connection),
      balance_(connection),
      lastPrice_(connection),
      lastPriceInDept_(connection) {
  layers_.setSql(kLayersSql);
  average_.setSql(kAverageSql);
  stock_.setSql(kStockSql);
  balance_.setSql(kBalanceOnDaySql);
  lastPrice_.setSql(kLastPriceSql);
  lastPriceInDept_.setSql(kLastPriceInDeptSql);
}

std::vector<Movement> StockMovements::read(Query& query, int goods, int dept, DateTime date) {
  bind(query, goods, dept, date);
  query.open();
  std::vector<Movement> movements;
  movements.reserve(static_cast<std::size_t>(query.rowCount()));
  for (query.first(); !query.eof(); query.next()) {
    Movement m;
    m.kind = static_cast<MovementKind>(query.asInteger(0));
    m.isn = query.asInteger(1);
    m.day = wholeDate(query.asDateTime(2));
    m.quantity = query.asDouble(3);
    m.cost = query.asDouble(4);
    movements.push_back(m);
  }
  query.close();
  return movements;
}

double StockMovements::sum(Query& query, int goods, int dept, DateTime date) {
  bind(query, goods, dept, date);
  query.open();
  double total = 0.0;
  for (query.first(); !query.eof(); query.next()) total += query.asDouble(0);
  query.close();
  return finitePrice(total);
}

std::vector<Movement> StockMovements::layers(int goods, int dept, DateTime date) {
  std::vector<Movement> found = read(layers_, goods, dept, date);
  std::sort(found.begin(), found.end(), newerFirst);
  return found;
}

std::vector<Movement> StockMovements::averageMovements(int goods, int dept, DateTime date) {
  return read(average_, goods, dept, date);
}

MovementSource::FifoWalk StockMovements::fifoWalk(int goods, int dept, DateTime date, double stock, double quantity,
                                                  double dayQuantity) {
  walked_ = layers(goods, dept, date);
  return {walked_, fifoTaking(walked_, stock, quantity, dayQuantity)};
}

DateTime StockMovements::newestLayerDay(int goods, int dept, DateTime date) {
  const std::vector<Movement> found = layers(goods, dept, date);
  return found.empty() ? 0 : found.front().day;
}

double StockMovements::movingAverage(int goods, int dept, DateTime date) {
  return movingAverageCost(averageMovements(goods, dept, date));
}

double StockMovements::stockBeforeOutflows(int goods, int dept, DateTime date) {
  return sum(stock_, goods, dept, date);
}

double StockMovements::balanceOnDay(int goods, int dept, DateTime date) {
  return sum(balance_, goods, dept, date);
}

double StockMovements::lastReceiptPrice(int goods, int dept, bool everyDepartment, DateTime date) {
  Query& query = everyDepartment ? lastPrice_ : lastPriceInDept_;
  bind(query, goods, dept, date);
  query.open();
  const double price = query.eof() ? 0.0 : query.asDouble(0);
  query.close();
  return finitePrice(price);
}

}  // namespace talvix::pricing
