#pragma once
// The movement kinds one row each, and every statement of the pricing library that names a line
// table, built from the document kinds' tables (data/document_tables.h) and the receipts'.
#include "pricing/movement.h"

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace talvix::pricing {

// The cost column of each document kind, written one line at a time: the movements' and, for
// client-sale look-ups only, the sales'.
enum class CostColumn : std::uint8_t {
  TransferCena = kindIndex(DocumentKind::Transfer),
  IssueIepCena = kindIndex(DocumentKind::Issue),
  ReturnIepCena = kindIndex(DocumentKind::Return),
  BalanceIepCena = kindIndex(DocumentKind::Balance),
};
constexpr CostColumn costColumnOf(DocumentKind kind) { return static_cast<CostColumn>(kindIndex(kind)); }
inline constexpr int kCostColumns = static_cast<int>(kKindCount);

// Receipts are the one movement that is no document kind.
inline constexpr KindStock kReceiptStock{.in = {"receipt", kReceiptRank}};

// One movement kind, made from its document kind's row (KindStock) or the receipts'.
struct MovementKindRow {
  MovementKind kind{};
  const char* told = nullptr;   // how an explanation names it
  const char* lines = nullptr;  // the line table
  // The cost the tool writes line by line that a kept line of this kind follows; a transfer's
  // follows through its line into the receiving department.
  std::optional<CostColumn> followedCost{};
  std::optional<DocumentKind> document{};  // none: receipts
  const KindStock* stock = nullptr;        // the document kind's or kReceiptStock
  bool inflow = false;
  // A line moving goods between two departments is read once, as its inflow; this is its outflow.
  std::optional<MovementKind> outflowHalf{};
  bool halfOfPair = false;  // the outflow half of such a line

  bool onItsDay() const { return inflow && stock->inOnItsDay; }
  bool averagedByOrigin() const { return inflow && stock->averagedByOrigin; }
};

namespace detail {
constexpr std::array<MovementKindRow, kMovementKinds> movementKindRows() {
  std::array<MovementKindRow, kMovementKinds> rows{};
  const auto put = [&rows](const StockFlow& flow, MovementKindRow row) {
    row.kind = kindOfRank(flow.rank);
    row.told = flow.told;
    rows[static_cast<std::size_t>(row.kind)] = row;
  };
  put(kReceiptStock.in, {.lines = kReceiptLinesTable, .stock = &kReceiptStock, .inflow = true});
  for (const DocumentKindRow& d : kDocumentKinds) {
    const KindStock& s = d.stock;
    const bool pair = s.in.told && s.out.told;
    if (s.in.told)
      put(s.in, {.lines = d.tables.lines,
                 .followedCost = costColumnOf(d.kind),
                 .document = d.kind,
                 .stock = &s,
                 .inflow = true,
                 .outflowHalf = pair ? std::optional(kindOfRank(s.out.rank)) : std::nullopt});
    if (s.out.told) put(s.out, {.lines = d.tables.lines, .document = d.kind, .stock = &s, .halfOfPair = pair});
  }
  return rows;
}
constexpr bool ranksOrderInflowsFirst() {
  const auto rows = movementKindRows();
  for (std::size_t k = 0; k < rows.size(); ++k)
    if (!rows[k].told || rows[k].inflow != (static_cast<int>(k) < kInflowKinds)) return false;
  return true;
}
// The stock statement's order: receipts, the kinds' inflows in the rows' order, the outflows by rank.
constexpr std::array<MovementKind, kMovementKinds> stockOrder() {
  std::array<MovementKind, kMovementKinds> order{};
  std::size_t next = 0;
  order[next++] = kReceiptMovement;
  for (const DocumentKindRow& d : kDocumentKinds)
    if (d.stock.in.told) order[next++] = kindOfRank(d.stock.in.rank);
  for (int k = kInflowKinds; k < kMovementKinds; ++k) order[next++] = static_cast<MovementKind>(k);
  return order;
}
}  // namespace detail

// Indexed by MovementKind.
inline constexpr std::array<MovementKindRow, kMovementKinds> kMovementKindRows = detail::movementKindRows();
static_assert(detail::ranksOrderInflowsFirst(), "every rank is unique and every inflow ranks before every outflow");
inline constexpr const MovementKindRow& rowOf(MovementKind kind) { return kMovementKindRows[static_cast<int>(kind)]; }
inline constexpr std::array<MovementKind, kMovementKinds> kStockOrder = detail::stockOrder();
// The inflow of the kind whose documents state the stock of a day (KindStock::statesStock).
inline constexpr MovementKind kStatedStock = [] {
  for (const MovementKindRow& row : kMovementKindRows)
    if (row.inflow && row.stock->statesStock) return row.kind;
  return kReceiptMovement;
}();

// The database reader's statements (stock_movements.h), bound by :ISPRECE, :ISNODALA, :DAY_START
// and :DAY_END.
struct ReaderStatements {
  std::string layers, average, stock, balanceOnDay, lastPrice, lastPriceInDept;
};
const ReaderStatements& readerStatements();

// The movement cache's statements (movement_cache.h). goodsLines: every line of one goods
// (:ISPRECE) with its header; per kind, its headers and its lines in table order; and the goods
// and clients of the period's client-sale look-ups (:DAT_NO).
struct KindStream {
  MovementKind kind;
  std::string headers, lines;
};
struct CacheStatements {
  std::string goodsLines;
  std::vector<KindStream> streams;  // receipts' first, then each kind's that moves stock
  std::string clientSalesWanted;
};
const CacheStatements& cacheStatements();

// What the classification of the tool's writes (write_statement.h) knows of the tables: the
// columns the movements are read from, per table; what the client-sale look-ups read besides; the
// cost columns written line by line.
struct ReadTable {
  std::string_view table;
  std::array<std::string_view, 6> columns;
};
struct CostTarget {
  std::string_view table, column;
  CostColumn cost;
};
std::span<const ReadTable> readTables();
std::span<const std::pair<std::string_view, std::string_view>> clientSaleColumns();
std::span<const CostTarget> costTargets();

}  // namespace talvix::pricing
