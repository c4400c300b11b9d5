#include "pricing/movement_kinds.h"

#include "data/document_tables.h"

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
constexpr Tables of(DocumentKind kind) {
  const DocumentTables& t = tablesOf(kind);
  return {t.header, t.lines, t.headerKey, t.date, t.dept, t.cost};
}
// Receipts are no document kind of the tool: it only reads them.
constexpr Tables kReceipts{kReceiptHeaderTable, kReceiptLinesTable, "ISPAVADZ", "DAT_SANEM", "ISNODALA", "CENA"};
constexpr Tables kTransfers = of(DocumentKind::Transfer);
constexpr Tables kIssues = of(DocumentKind::Issue);
constexpr Tables kReturns = of(DocumentKind::Return);
constexpr Tables kBalances = of(DocumentKind::Balance);
constexpr const char* kReceiptDiscount = "ATLAIDE";
constexpr const char* kTransferReceiver = "ISNODALAUZ";
constexpr const char* kUnconfirmed = "NEAPSTIPR";  // a goods-balance header's
constexpr const char* kIssueClient = tablesOf(DocumentKind::Issue).client;
constexpr const char* kReturnOrigin = tablesOf(DocumentKind::Return).origin;

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

std::string confirmedOnly(std::string_view prefix) {
  return cat({" AND (", prefix, kUnconfirmed, " IS NULL OR ", prefix, kUnconfirmed, " <> 'T')"});
}

// One branch of the reader's statements per movement kind, in the order the stock sum adds them.
// "+0" keeps the optimiser from driving the join through a header's department or date index,
// which would read every document of the department instead of the goods' few lines.
struct Branch {
  MovementKind kind;
  const Tables& tables;
  const char* dept;
  std::string cost;
  std::string from;
};
std::array<Branch, kMovementKinds> branches() {
  auto branch = [](MovementKind kind, const Tables& t, const char* dept, std::string cost, std::string extra = {}) {
    return Branch{kind, t, dept, std::move(cost), goodsLines(t) + cat({" AND H.", dept, "+0 = :ISNODALA"}) + extra};
  };
  return {branch(MovementKind::Receipt, kReceipts, kReceipts.dept, receiptPrice("L.")),
          branch(MovementKind::TransferIn, kTransfers, kTransferReceiver, cat({"L.", kTransfers.cost})),
          branch(MovementKind::Return, kReturns, kReturns.dept, cat({"L.", kReturns.cost})),
          branch(MovementKind::Balance, kBalances, kBalances.dept, cat({"L.", kBalances.cost}), confirmedOnly("H.")),
          branch(MovementKind::Issue, kIssues, kIssues.dept, "0"),
          branch(MovementKind::TransferOut, kTransfers, kTransfers.dept, "0")};
}

std::string before(const Branch& b, const char* bound) { return cat({" AND H.", b.tables.date, "+0 < ", bound}); }

// Layers: inflows with a quantity and a cost above 0.
std::string layersSql(const std::array<Branch, kMovementKinds>& all) {
  std::string sql;
  for (int i = 0; i < 4; ++i) {
    const Branch& b = all[i];
    sql += i == 0 ? cat({"SELECT ", kindNumber(b.kind), " AS KIND, L.ISN, H.", b.tables.date, " AS DATUMS, L.DAUDZUMS, ",
                         b.cost, " AS COST"})
                  : cat({" UNION ALL SELECT ", kindNumber(b.kind), ", L.ISN, H.", b.tables.date, ", L.DAUDZUMS, ", b.cost});
    sql += b.from + before(b, ":DAY_END") + cat({" AND L.DAUDZUMS > 0 AND ", b.cost, " > 0"});
  }
  return sql;
}

// The inflows the moving average counts and every outflow.
std::string averageSql(const std::array<Branch, kMovementKinds>& all) {
  std::string sql;
  for (int i = 0; i < kMovementKinds; ++i) {
    const Branch& b = all[i];
    sql += i == 0 ? cat({"SELECT ", kindNumber(b.kind), " AS KIND, L.ISN, H.", b.tables.date,
                         " AS DATUMS, COALESCE(L.DAUDZUMS,0) AS DAUDZUMS, ", b.cost, " AS COST"})
                  : cat({" UNION ALL SELECT ", kindNumber(b.kind), ", L.ISN, H.", b.tables.date,
                         ", COALESCE(L.DAUDZUMS,0), ", b.cost});
    sql += b.from + before(b, ":DAY_END");
    if (isInflow(b.kind)) sql += cat({" AND ", b.cost, " > 0"});
    if (b.kind == MovementKind::Return) sql += cat({" AND H.", kReturnOrigin, " = 2"});
  }
  return sql;
}

// One signed sum per kind: the day's receipts, transfers in and returns count, its other lines not.
std::string stockSql(const std::array<Branch, kMovementKinds>& all) {
  std::string sql;
  for (int i = 0; i < kMovementKinds; ++i) {
    const Branch& b = all[i];
    const bool dayIn = b.kind == MovementKind::Receipt || b.kind == MovementKind::TransferIn ||
                       b.kind == MovementKind::Return;
    sql += i == 0 ? "SELECT SUM(L.DAUDZUMS) AS QTY" : isInflow(b.kind) ? " UNION ALL SELECT SUM(L.DAUDZUMS)"
                                                                        : " UNION ALL SELECT -SUM(L.DAUDZUMS)";
    sql += b.from + before(b, dayIn ? ":DAY_END" : ":DAY_START");
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

ReaderStatements buildReaderStatements() {
  const std::array<Branch, kMovementKinds> all = branches();
  const Branch& balances = all[3];
  return {layersSql(all),
          averageSql(all),
          stockSql(all),
          cat({"SELECT SUM(L.DAUDZUMS) AS QTY", balances.from, " AND H.", kBalances.date, "+0 >= :DAY_START",
               before(balances, ":DAY_END")}),
          lastPriceSql(false),
          lastPriceSql(true)};
}

// Columns: KIND (MovementKind; TransferIn stands for the whole transfer line), ISN, DATUMS, DEPT,
// DEPT_TO (transfers), AVERAGED (returns), DAUDZUMS, COST. Each branch walks the lines through
// their goods index, so the lines of each kind arrive in the order the reader's statements add them.
std::string goodsLinesSql() {
  const auto branch = [](MovementKind kind, const Tables& t, std::string_view deptTo, std::string_view averaged,
                         std::string_view cost) {
    return cat({" UNION ALL SELECT ", kindNumber(kind), ", L.ISN, H.", t.date, ", H.", t.dept, ", ", deptTo, ", ",
                averaged, ", L.DAUDZUMS, ", cost, goodsLines(t)});
  };
  return cat({"SELECT ", kindNumber(MovementKind::Receipt), " AS KIND, L.ISN, H.", kReceipts.date,
              " AS DATUMS, H.", kReceipts.dept, " AS DEPT, CAST(NULL AS INTEGER) AS DEPT_TO, 0 AS AVERAGED,"
              " L.DAUDZUMS, ", receiptPrice("L."), " AS COST", goodsLines(kReceipts)}) +
         branch(MovementKind::TransferIn, kTransfers, cat({"H.", kTransferReceiver}), "0", cat({"L.", kTransfers.cost})) +
         branch(MovementKind::Return, kReturns, "NULL", cat({"CASE WHEN H.", kReturnOrigin, " = 2 THEN 1 ELSE 0 END"}),
                cat({"L.", kReturns.cost})) +
         branch(MovementKind::Balance, kBalances, "NULL", "0", cat({"L.", kBalances.cost})) + confirmedOnly("H.") +
         branch(MovementKind::Issue, kIssues, "NULL", "0", "NULL");
}

// Headers: ISN, date, department, the other key (a transfer's receiver, an issue's client),
// AVERAGED; lines: ISN, header key, goods, DAUDZUMS, COST, and for issues what a client-sale
// look-up reads.
KindStream stream(MovementKind kind, const Tables& t, std::string_view other, std::string_view averaged,
                  std::string_view cost, std::string_view where = {}) {
  return {kind, cat({"SELECT ISN, ", t.date, ", ", t.dept, ", ", other, ", ", averaged, " FROM ", t.header, where}),
          cat({"SELECT ISN, ", t.headerKey, ", ISPRECE, DAUDZUMS, ", cost, " FROM ", t.lines})};
}

std::array<KindStream, 5> kindStreams() {
  const DocumentTables& issues = tablesOf(DocumentKind::Issue);
  return {stream(MovementKind::Receipt, kReceipts, "CAST(NULL AS INTEGER)", "0", receiptPrice("")),
          stream(MovementKind::TransferIn, kTransfers, kTransferReceiver, "0", kTransfers.cost),
          stream(MovementKind::Return, kReturns, "CAST(NULL AS INTEGER)",
                 cat({"CASE WHEN ", kReturnOrigin, " = 2 THEN 1 ELSE 0 END"}), kReturns.cost),
          stream(MovementKind::Balance, kBalances, "CAST(NULL AS INTEGER)", "0", kBalances.cost,
                 cat({" WHERE ", kUnconfirmed, " IS NULL OR ", kUnconfirmed, " <> 'T'"})),
          stream(MovementKind::Issue, kIssues, kIssueClient, "0",
                 cat({"CAST(NULL AS DOUBLE PRECISION), ", issues.cost, ", ", issues.salePrice, ", ", issues.markup}))};
}

// The goods and clients of the lines a client-sale look-up prices: negative issue lines and
// returns, from :DAT_NO on. A NULL client asks as 0.
std::string clientSalesWantedSql() {
  const auto from = [](DocumentKind kind) {
    const DocumentTables& t = tablesOf(kind);
    return cat({"SELECT L.ISPRECE, COALESCE(H.", t.client, ", 0) FROM ", t.header, " H, ", t.lines,
                " L WHERE H.ISN = L.", t.headerKey, " AND H.", t.date, " >= :DAT_NO"});
  };
  return from(DocumentKind::Issue) + " AND L.DAUDZUMS < 0 AND L.ISPRECE IS NOT NULL UNION " +
         from(DocumentKind::Return) + " AND L.ISPRECE IS NOT NULL";
}

}  // namespace

const std::array<MovementKindRow, kMovementKinds> kMovementKindRows = {{
    {MovementKind::Return, "return", kReturns.lines, CostColumn::ReturnIepCena},
    {MovementKind::TransferIn, "transfer in", kTransfers.lines, CostColumn::TransferCena},
    {MovementKind::Receipt, "receipt", kReceipts.lines, std::nullopt},
    {MovementKind::Balance, "goods balance", kBalances.lines, CostColumn::BalanceIepCena},
    {MovementKind::Issue, "issue", kIssues.lines, std::nullopt},
    {MovementKind::TransferOut, "transfer out", kTransfers.lines, std::nullopt},
}};

const ReaderStatements& readerStatements() {
  static const ReaderStatements statements = buildReaderStatements();
  return statements;
}

const CacheStatements& cacheStatements() {
  static const CacheStatements statements{goodsLinesSql(), kindStreams(), clientSalesWantedSql()};
  return statements;
}

namespace {

constexpr std::array<ReadTable, 10> kReadTables = {{
    {kReceipts.lines, {"ISN", kReceipts.headerKey, "ISPRECE", "DAUDZUMS", kReceipts.cost, kReceiptDiscount}},
    {kReceipts.header, {"ISN", kReceipts.date, kReceipts.dept}},
    {kTransfers.lines, {"ISN", kTransfers.headerKey, "ISPRECE", "DAUDZUMS", kTransfers.cost}},
    {kTransfers.header, {"ISN", kTransfers.date, kTransfers.dept, kTransferReceiver}},
    {kReturns.lines, {"ISN", kReturns.headerKey, "ISPRECE", "DAUDZUMS", kReturns.cost}},
    {kReturns.header, {"ISN", kReturns.date, kReturns.dept, kReturnOrigin}},
    {kIssues.lines, {"ISN", kIssues.headerKey, "ISPRECE", "DAUDZUMS"}},
    {kIssues.header, {"ISN", kIssues.date, kIssues.dept}},
    {kBalances.lines, {"ISN", kBalances.headerKey, "ISPRECE", "DAUDZUMS", kBalances.cost}},
    {kBalances.header, {"ISN", kBalances.date, kBalances.dept, kUnconfirmed}},
}};

constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kClientSaleColumns = {{
    {kIssues.lines, kIssues.cost},
    {kIssues.lines, tablesOf(DocumentKind::Issue).salePrice},
    {kIssues.lines, tablesOf(DocumentKind::Issue).markup},
    {kIssues.header, kIssueClient},
}};

constexpr std::array<CostTarget, 4> kCostTargets = {{
    {kTransfers.lines, kTransfers.cost, CostColumn::TransferCena},
    {kReturns.lines, kReturns.cost, CostColumn::ReturnIepCena},
    {kBalances.lines, kBalances.cost, CostColumn::BalanceIepCena},
    {kIssues.lines, kIssues.cost, CostColumn::IssueIepCena},
}};

}  // namespace

std::span<const ReadTable> readTables() { return kReadTables; }
std::span<const std::pair<std::string_view, std::string_view>> clientSaleColumns() { return kClientSaleColumns; }
std::span<const CostTarget> costTargets() { return kCostTargets; }

}  // namespace talvix::pricing
