#pragma once
// The movement kinds one row each, and every statement of the pricing library that names a line
// table, built from the document kinds' tables (data/document_tables.h) and the receipts'.
#include "pricing/movement.h"

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace talvix::pricing {

// The cost columns the tool writes one line at a time: the movements' and, for client-sale
// look-ups only, the issue lines'.
enum class CostColumn { TransferCena, ReturnIepCena, BalanceIepCena, IssueIepCena };
inline constexpr int kCostColumns = 4;

struct MovementKindRow {
  MovementKind kind;
  const char* told;   // how an explanation names it
  const char* lines;  // the line table
  // The cost the tool writes line by line that a kept line of this kind follows; a transfer's
  // follows through its line into the receiving department.
  std::optional<CostColumn> followedCost;
};

// Indexed by MovementKind.
extern const std::array<MovementKindRow, kMovementKinds> kMovementKindRows;
inline const MovementKindRow& rowOf(MovementKind kind) { return kMovementKindRows[static_cast<int>(kind)]; }

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
  std::array<KindStream, 5> streams;
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
