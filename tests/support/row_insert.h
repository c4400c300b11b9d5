#pragma once
// One INSERT whose columns are named as a kind's row of tables names them: a column the kind has
// none of (null) is left out, so one writer serves every document kind. Values are bound as
// parameters; the caller's connection commits.
#include "data/connection.h"
#include "data/date_time.h"
#include "data/document_tables.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace talvix::test {

// Columns no kind's row names: the receipts' (no document kind of the tool) and two header columns
// only the tests write.
inline constexpr const char* kReceiptDateColumn = "DAT_SANEM";
inline constexpr const char* kReceiptDeptColumn = "ISNODALA";
inline constexpr const char* kReceiptHeaderKeyColumn = "ISPAVADZ";
inline constexpr const char* kReceiptPriceColumn = "CENA";
inline constexpr const char* kReceiptDiscountColumn = "ATLAIDE";
inline constexpr const char* kTransferReceiverColumn = "ISNODALAUZ";
inline constexpr const char* kUnconfirmedColumn = "NEAPSTIPR";

class RowInsert {
 public:
  explicit RowInsert(std::string table = {}) : table_(std::move(table)) {}
  RowInsert& into(std::string table) {
    table_ = std::move(table);
    return *this;
  }

  RowInsert& integer(const char* column, int value);
  RowInsert& key(const char* column, int value);  // 0 as NULL
  RowInsert& number(const char* column, double value);
  RowInsert& number(const char* column, const std::optional<double>& value);  // nullopt as NULL
  RowInsert& integer(const char* column, const std::optional<int>& value);    // nullopt as NULL
  RowInsert& date(const char* column, DateTime value);
  RowInsert& date(const char* column, const std::optional<DateTime>& value);     // nullopt as NULL
  RowInsert& text(const char* column, const std::optional<std::string>& value);  // nullopt as NULL

  std::string sql() const;
  void exec(Connection& connection) const;

 private:
  using Bind = std::function<void(Query&, const std::string& parameter)>;
  RowInsert& add(const char* column, Bind bind);

  std::string table_;
  std::vector<std::pair<std::string, Bind>> values_;
};

// A kind's header and one of its lines, keyed as given: the header's date and department, the
// line's goods, quantity and serial record; the caller adds the kind's other columns.
struct KindRows {
  RowInsert header;
  RowInsert line;
};
KindRows kindRows(DocumentKind kind, int headerKey, DateTime date, int dept, int lineKey, int goods, double qty,
                  int serial);

}  // namespace talvix::test
