#include "pricing/movement_kinds.h"

#include "data/document_tables.h"

#include <algorithm>
#include <initializer_list>

namespace talvix::pricing {
namespace {

// A kind's header and line tables, the line's column holding its header's key, the header's date
// and department (a transfer's sender) and the line's cost column.
struct Tables {
  const char* header;
  const char* lines;
  const char* headerKey;
  const char* date;
  const char* dept;
  const char* cost;
};
// Receipts are no document kind of the tool: it only reads them.
constexpr Tables kReceipts{kReceiptHeaderTable, kReceiptLinesTable, "ISPAVADZ", "DAT_SANEM", "ISNODALA", "CENA"};
constexpr const char* kReceiptDiscount = "ATLAIDE";

Tables tablesOfRow(const MovementKindRow& row) {
  if (!row.document) return kReceipts;
  const DocumentTables& t = tablesOf(*row.document);
  return {t.header, t.lines, t.headerKey, t.date, t.dept, t.cost};
}

std::string cat(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view part : parts) text += part;
  return text;
}

std::string kindNumber(MovementKind kind) { return std::to_string(static_cast<int>(kind)); }

// A receipt line's effective price; prefix names the line table ("L.") or nothing.
std::string receiptPrice(std::string_view prefix) {
  return cat({prefix, kReceipts.cost, "*(1+COALESCE(", prefix, kReceiptDiscount, ",0)/100)"});
}

// The lines of one goods (:ISPRECE) of a kind, joined to their headers as L and H. The goods
// index drives the reads.
std::string goodsLines(const Tables& t) {
  return cat({" FROM ", t.lines, " L JOIN ", t.header, " H ON H.ISN = L.", t.headerKey, " WHERE L.ISPRECE = :ISPRECE"});
}

std::string confirmedOnly(const KindStock& stock, std::string_view prefix) {
  if (!stock.unconfirmed) return {};
  const char* column = stock.unconfirmed;
  return cat({" AND (", prefix, column, " IS NULL OR ", prefix, column, " <> 'T')"});
}

// 1 where the moving average counts the kind's line, by its header; prefix names the header.
std::string averagedFlag(const MovementKindRow& row, std::string_view prefix) {
  if (!row.averagedByOrigin()) return "0";
  return cat({"CASE WHEN ", prefix, tablesOf(*row.document).origin, " = ", std::to_string(kStockInOrigin),
              " THEN 1 ELSE 0 END"});
}

// The header's column of the department a movement moves.
const char* deptOf(const MovementKindRow& row, const Tables& t) {
  const char* own = row.inflow ? row.stock->in.dept : row.stock->out.dept;
  return own ? own : t.dept;
}

// The movements a line is read as once: all but the outflow halves of lines between departments,
// in the stock statement's order.
std::vector<const MovementKindRow*> linesRead() {
  std::vector<const MovementKindRow*> read;
  for (const MovementKind kind : kStockOrder)
    if (!rowOf(kind).halfOfPair) read.push_back(&rowOf(kind));
  return read;
}

// One branch of the reader's statements per movement kind, in the order the stock sum adds them.
// "+0" keeps the optimiser from driving the join through a header's department or date index,
// which would read every document of the department instead of the goods' few lines.
struct Branch {
  const MovementKindRow* row;
  Tables tables;
  std::string cost;
  std::string from;
};
std::vector<Branch> branches() {
  std::vector<Branch> all;
  for (const MovementKind kind : kStockOrder) {
    const MovementKindRow& row = rowOf(kind);
    const Tables t = tablesOfRow(row);
    std::string cost = !row.inflow ? "0" : row.document ? cat({"L.", t.cost}) : receiptPrice("L.");
    all.push_back(
        {&row, t, std::move(cost),
         goodsLines(t) + cat({" AND H.", deptOf(row, t), "+0 = :ISNODALA"}) + confirmedOnly(*row.stock, "H.")});
  }
  return all;
}

std::string before(const Branch& b, const char* bound) { return cat({" AND H.", b.tables.date, "+0 < ", bound}); }

// Layers: inflows with a quantity and a cost above 0.
std::string layersSql(const std::vector<Branch>& all) {
  std::string sql;
  for (const Branch& b : all) {
    if (!b.row->inflow) continue;
    sql += sql.empty() ? cat({"SELECT ", kindNumber(b.row->kind), " AS KIND, L.ISN, H.", b.tables.date,
                              " AS DATUMS, L.DAUDZUMS, ", b.cost, " AS COST"})
                       : cat({" UNION ALL SELECT ", kindNumber(b.row->kind), ", L.ISN, H.", b.tables.date,
                              ", L.DAUDZUMS, ", b.cost});
    sql += b.from + before(b, ":DAY_END") + cat({" AND L.DAUDZUMS > 0 AND ", b.cost, " > 0"});
  }
  return sql;
}

// The inflows the moving average counts and every outflow.
std::string averageSql(const std::vector<Branch>& all) {
  std::string sql;
  for (const Branch& b : all) {
    sql += sql.empty() ? cat({"SELECT ", kindNumber(b.row->kind), " AS KIND, L.ISN, H.", b.tables.date,
                              " AS DATUMS, COALESCE(L.DAUDZUMS,0) AS DAUDZUMS, ", b.cost, " AS COST"})
                       : cat({" UNION ALL SELECT ", kindNumber(b.row->kind), ", L.ISN, H.", b.tables.date,
                              ", COALESCE(L.DAUDZUMS,0), ", b.cost});
    sql += b.from + before(b, ":DAY_END");
    if (b.row->inflow) sql += cat({" AND ", b.cost, " > 0"});
    if (b.row->averagedByOrigin())
      sql += cat({" AND H.", tablesOf(*b.row->document).origin, " = ", std::to_string(kStockInOrigin)});
  }
  return sql;
}

// One signed sum per kind: the inflows counted on their own day up to its end, the rest before it.
std::string stockSql(const std::vector<Branch>& all) {
  std::string sql;
  for (const Branch& b : all) {
    sql += sql.empty()     ? "SELECT SUM(L.DAUDZUMS) AS QTY"
           : b.row->inflow ? " UNION ALL SELECT SUM(L.DAUDZUMS)"
                           : " UNION ALL SELECT -SUM(L.DAUDZUMS)";
    sql += b.from + before(b, b.row->onItsDay() ? ":DAY_END" : ":DAY_START");
  }
  return sql;
}

// Ordering by the day, not the time, also keeps the header's date index out of the plan.
std::string lastPriceSql(bool inDept) {
  const std::string price = receiptPrice("L.");
  return cat({"SELECT FIRST 1 ", price, " AS COST", goodsLines(kReceipts),
              inDept ? cat({" AND H.", kReceipts.dept, "+0 = :ISNODALA"}) : "", " AND H.", kReceipts.date,
              "+0 < :DAY_END AND ", price, " <> 0 ORDER BY CAST(H.", kReceipts.date, " AS DATE) DESC, L.ISN DESC"});
}

// The quantity the documents of a day state, for the kind whose documents state the stock.
std::string stockStatedSql(const std::vector<Branch>& all) {
  const auto stated = std::find_if(all.begin(), all.end(), [](const Branch& b) { return b.row->stock->statesStock; });
  if (stated == all.end()) return {};
  return cat({"SELECT SUM(L.DAUDZUMS) AS QTY", stated->from, " AND H.", stated->tables.date, "+0 >= :DAY_START",
              before(*stated, ":DAY_END")});
}

ReaderStatements buildReaderStatements() {
  const std::vector<Branch> all = branches();
  return {layersSql(all), averageSql(all), stockSql(all), stockStatedSql(all), lastPriceSql(false), lastPriceSql(true)};
}

// Columns: KIND (MovementKind; a line between departments as its inflow), ISN, DATUMS, DEPT,
// DEPT_TO (lines between departments), AVERAGED, DAUDZUMS, COST. Each branch walks the lines
// through their goods index, so the lines of each kind arrive in the order the reader's statements
// add them.
std::string goodsLinesSql() {
  std::string sql;
  for (const MovementKindRow* row : linesRead()) {
    const Tables t = tablesOfRow(*row);
    const std::string cost = !row->inflow ? "NULL" : row->document ? cat({"L.", t.cost}) : receiptPrice("L.");
    if (sql.empty()) {
      sql = cat({"SELECT ", kindNumber(row->kind), " AS KIND, L.ISN, H.", t.date, " AS DATUMS, H.", t.dept,
                 " AS DEPT, CAST(NULL AS INTEGER) AS DEPT_TO, ", averagedFlag(*row, "H."), " AS AVERAGED, L.DAUDZUMS, ",
                 cost, " AS COST", goodsLines(t)});
    } else {
      const std::string deptTo = row->outflowHalf ? cat({"H.", row->stock->in.dept}) : "NULL";
      sql += cat({" UNION ALL SELECT ", kindNumber(row->kind), ", L.ISN, H.", t.date, ", H.", t.dept, ", ", deptTo,
                  ", ", averagedFlag(*row, "H."), ", L.DAUDZUMS, ", cost, goodsLines(t)});
    }
    sql += confirmedOnly(*row->stock, "H.");
  }
  return sql;
}

// Headers: ISN, date, department, the other key (the receiving department of a line between
// departments, a sale's client), AVERAGED; lines: ISN, header key, goods, DAUDZUMS, COST, and for
// sales what a client-sale look-up reads.
std::vector<KindStream> kindStreams() {
  std::vector<KindStream> streams;
  for (const MovementKindRow* row : linesRead()) {
    const Tables t = tablesOfRow(*row);
    const KindStock& s = *row->stock;
    const char* other = row->outflowHalf ? s.in.dept
                        : s.sales        ? tablesOf(*row->document).client
                                         : "CAST(NULL AS INTEGER)";
    std::string cost = !row->document ? receiptPrice("")
                       : row->inflow  ? std::string(t.cost)
                                      : "CAST(NULL AS DOUBLE PRECISION)";
    if (s.sales) {
      const DocumentTables& d = tablesOf(*row->document);
      cost = cat({cost, ", ", d.cost, ", ", d.salePrice, ", ", d.markup});
    }
    const std::string where =
        s.unconfirmed ? cat({" WHERE ", s.unconfirmed, " IS NULL OR ", s.unconfirmed, " <> 'T'"}) : "";
    streams.push_back({row->kind,
                       cat({"SELECT ISN, ", t.date, ", ", t.dept, ", ", other, ", ", averagedFlag(*row, ""), " FROM ",
                            t.header, where}),
                       cat({"SELECT ISN, ", t.headerKey, ", ISPRECE, DAUDZUMS, ", cost, " FROM ", t.lines})});
  }
  return streams;
}

// The goods and clients of the lines a client-sale look-up prices (KindStock::asksSale), from
// :DAT_NO on. A NULL client asks as 0.
std::string clientSalesWantedSql() {
  std::string sql;
  for (const DocumentKindRow& row : kDocumentKinds) {
    if (row.stock.asksSale == KindStock::AsksSale::Never) continue;
    const DocumentTables& t = row.tables;
    sql += cat({sql.empty() ? "" : " UNION ", "SELECT L.ISPRECE, COALESCE(H.", t.client, ", 0) FROM ", t.header, " H, ",
                t.lines, " L WHERE H.ISN = L.", t.headerKey, " AND H.", t.date, " >= :DAT_NO"});
    if (row.stock.asksSale == KindStock::AsksSale::NegativeUnderFifo) sql += " AND L.DAUDZUMS < 0";
    sql += " AND L.ISPRECE IS NOT NULL";
  }
  return sql;
}

// The columns the movements are read from, per table.
std::vector<ReadTable> buildReadTables() {
  std::vector<ReadTable> read;
  for (const MovementKindRow* row : linesRead()) {
    const Tables t = tablesOfRow(*row);
    const KindStock& s = *row->stock;
    ReadTable lines{t.lines, {"ISN", t.headerKey, "ISPRECE", "DAUDZUMS"}};
    if (row->inflow) lines.columns[4] = t.cost;
    if (!row->document) lines.columns[5] = kReceiptDiscount;
    ReadTable header{t.header, {"ISN", t.date, t.dept}};
    const char* extra = row->outflowHalf          ? s.in.dept
                        : row->averagedByOrigin() ? tablesOf(*row->document).origin
                                                  : s.unconfirmed;
    if (extra) header.columns[3] = extra;
    read.push_back(lines);
    read.push_back(header);
  }
  return read;
}

// What the client-sale look-ups read of the sales besides.
std::vector<std::pair<std::string_view, std::string_view>> buildClientSaleColumns() {
  std::vector<std::pair<std::string_view, std::string_view>> read;
  for (const DocumentKindRow& row : kDocumentKinds) {
    if (!row.stock.sales) continue;
    const DocumentTables& t = row.tables;
    for (const char* column : {t.cost, t.salePrice, t.markup}) read.emplace_back(t.lines, column);
    read.emplace_back(t.header, t.client);
  }
  return read;
}

std::vector<CostTarget> buildCostTargets() {
  std::vector<CostTarget> targets;
  for (const DocumentKindRow& row : kDocumentKinds)
    targets.push_back({row.tables.lines, row.tables.cost, costColumnOf(row.kind)});
  return targets;
}

}  // namespace

const ReaderStatements& readerStatements() {
  static const ReaderStatements statements = buildReaderStatements();
  return statements;
}

const CacheStatements& cacheStatements() {
  static const CacheStatements statements{goodsLinesSql(), kindStreams(), clientSalesWantedSql()};
  return statements;
}

std::span<const ReadTable> readTables() {
  static const std::vector<ReadTable> tables = buildReadTables();
  return tables;
}
std::span<const std::pair<std::string_view, std::string_view>> clientSaleColumns() {
  static const std::vector<std::pair<std::string_view, std::string_view>> columns = buildClientSaleColumns();
  return columns;
}
std::span<const CostTarget> costTargets() {
  static const std::vector<CostTarget> targets = buildCostTargets();
  return targets;
}

}  // namespace talvix::pricing
