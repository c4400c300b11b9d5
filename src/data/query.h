#pragma once
// A parameterised statement on a Connection, run in the connection's default transaction, in the
// way the tool's steps use one: set the SQL text with named parameters (:NAME), bind values by
// name, then open() a select (every row is fetched into memory, so commits and updates may follow
// while the rows are walked) or execSql() anything else. A text is prepared once per connection and
// re-executed with new values, also by another query on the same connection (see
// Connection::statementFor).
// Fields are read by name; NULL reads as 0, 0.0 or "". A BLOB reads as its text.
#include "data/connection.h"
#include "data/date_time.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace talvix {

// The value a DateTime parameter is compared as: to the ten-thousandth of a second a timestamp holds.
DateTime asTimestamp(DateTime value);

class Query {
 public:
  explicit Query(Connection& connection);
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;
  ~Query();

  // Replaces the text and clears the bound values (and any fetched rows).
  void setSql(const std::string& sql);
  const std::string& sql() const { return sql_; }

  // Binding a name the text does not hold is an error naming both.
  void setDateTime(const std::string& name, DateTime value);
  void setInteger(const std::string& name, std::int32_t value);
  void setDouble(const std::string& name, double value);
  void setNull(const std::string& name);
  // Text bound as UTF-8; it may also fill a text BLOB column.
  void setString(const std::string& name, const std::string& value);
  bool hasParameter(const std::string& name) const;
  // The value last bound to a parameter (0.0 when it is NULL or unbound).
  double paramDouble(const std::string& name) const;
  // The number last bound to a parameter, NULL as 0.0; nullopt when it is text or unbound.
  std::optional<double> paramNumber(const std::string& name) const;

  // Runs the statement in another transaction of the same connection (nullptr: the default one).
  void setTransaction(Transaction* transaction) { transaction_ = transaction; }
  bool onDefaultTransaction() const { return transaction_ == nullptr; }

  void open();
  void execSql();
  // Forgets the fetched rows; the prepared statement stays for the next open.
  void close();

  // For results too large to hold: openStream() opens the select without fetching; each fetch()
  // makes the next row the one current row, and returns false at the end. Several queries may
  // stream at once; a stream reads nothing the tool writes after it was opened.
  void openStream();
  bool fetch();

  int rowCount() const { return rowCount_; }
  bool eof() const { return row_ >= rowCount_; }
  void first() { row_ = 0; }
  void next() { ++row_; }

  // Index of a field by its (upper-case) name; the first when two share it. Throws when absent.
  int fieldIndex(const std::string& name) const;
  // The same, or -1 when the statement has no such field.
  int findField(const std::string& name) const;
  bool isNull(int field) const;
  std::int32_t asInteger(int field) const;
  double asDouble(int field) const;
  DateTime asDateTime(int field) const;
  std::string asString(int field) const;
  bool isNull(const std::string& name) const { return isNull(fieldIndex(name)); }
  std::int32_t asInteger(const std::string& name) const { return asInteger(fieldIndex(name)); }
  double asDouble(const std::string& name) const { return asDouble(fieldIndex(name)); }
  DateTime asDateTime(const std::string& name) const { return asDateTime(fieldIndex(name)); }
  std::string asString(const std::string& name) const { return asString(fieldIndex(name)); }

  using Prepared = PreparedStatement;
  enum class Kind : std::uint8_t { Null, Integer, Double, DateTime, Text, Boolean, Blob, Other };

 private:
  struct Param {
    Kind kind = Kind::Null;
    std::int64_t integer = 0;
    double real = 0.0;
    std::string text;
  };

  Transaction& transaction() { return transaction_ ? *transaction_ : connection_.defaultTransaction(); }
  Prepared& prepared();
  void bindInput(Prepared& p, std::vector<unsigned char>& buffer);
  static void writeParam(const Param& value, unsigned char* at);
  void fetchAll(Prepared& p, Firebird::IResultSet* cursor);
  void decodeRow(const Prepared& p, const unsigned char* row);
  std::string readBlob(const unsigned char* id);
  void closeStream();
  void clearRows();
  Param& param(const std::string& name);
  const void* cell(int field) const;

  Connection& connection_;
  Transaction* transaction_ = nullptr;
  std::string sql_;
  std::shared_ptr<Prepared> current_;
  std::unordered_map<std::string, Param> params_;

  int rowCount_ = 0;
  int row_ = 0;
  // rowCount_ x columns, 8 raw bytes each; in blocks, so a year's rows never exist twice while growing
  std::deque<std::uint64_t> cells_;
  std::vector<std::uint8_t> nulls_;
  std::vector<std::string> texts_;  // text cells hold an index into this
  fb::Handle<Firebird::IResultSet> stream_;
  std::unique_ptr<fb::Status> streamStatus_;  // one per stream: taking a status costs a lock
  std::vector<unsigned char> streamRow_;
};

}  // namespace talvix
