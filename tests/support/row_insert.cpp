#include "support/row_insert.h"

#include "data/query.h"

namespace talvix::test {

RowInsert& RowInsert::add(const char* column, Bind bind) {
  if (column) values_.emplace_back(column, std::move(bind));
  return *this;
}

RowInsert& RowInsert::integer(const char* column, int value) {
  return add(column, [value](Query& q, const std::string& p) { q.setInteger(p, value); });
}

RowInsert& RowInsert::key(const char* column, int value) {
  return add(column, [value](Query& q, const std::string& p) { value ? q.setInteger(p, value) : q.setNull(p); });
}

RowInsert& RowInsert::number(const char* column, double value) {
  return add(column, [value](Query& q, const std::string& p) { q.setDouble(p, value); });
}

RowInsert& RowInsert::number(const char* column, const std::optional<double>& value) {
  return add(column, [value](Query& q, const std::string& p) { value ? q.setDouble(p, *value) : q.setNull(p); });
}

RowInsert& RowInsert::integer(const char* column, const std::optional<int>& value) {
  return add(column, [value](Query& q, const std::string& p) { value ? q.setInteger(p, *value) : q.setNull(p); });
}

RowInsert& RowInsert::date(const char* column, DateTime value) {
  return add(column, [value](Query& q, const std::string& p) { q.setDateTime(p, value); });
}

RowInsert& RowInsert::date(const char* column, const std::optional<DateTime>& value) {
  return add(column, [value](Query& q, const std::string& p) { value ? q.setDateTime(p, *value) : q.setNull(p); });
}

RowInsert& RowInsert::text(const char* column, const std::optional<std::string>& value) {
  return add(column, [value](Query& q, const std::string& p) { value ? q.setString(p, *value) : q.setNull(p); });
}

std::string RowInsert::sql() const {
  std::string columns, parameters;
  for (std::size_t i = 0; i < values_.size(); ++i) {
    columns += (i ? ", " : "") + values_[i].first;
    parameters += (i ? ", :P" : ":P") + std::to_string(i);
  }
  return "INSERT INTO " + table_ + " (" + columns + ") VALUES (" + parameters + ")";
}

void RowInsert::exec(Connection& connection) const {
  Query q(connection);
  q.setSql(sql());
  for (std::size_t i = 0; i < values_.size(); ++i) values_[i].second(q, "P" + std::to_string(i));
  q.execSql();
}

KindRows kindRows(DocumentKind kind, int headerKey, DateTime date, int dept, int lineKey, int goods, double qty,
                  int serial) {
  const DocumentTables& t = tablesOf(kind);
  KindRows rows{RowInsert(t.header), RowInsert(t.lines)};
  rows.header.integer("ISN", headerKey).date(t.date, date).integer(t.dept, dept);
  rows.line.integer("ISN", lineKey)
      .integer(t.headerKey, headerKey)
      .integer("ISPRECE", goods)
      .number("DAUDZUMS", qty)
      .key("ISSERTIF", serial);
  return rows;
}

}  // namespace talvix::test
