#include "ledger/day_quantity_table.h"

#include "data/query.h"

#include <cstring>
#include <functional>

namespace talvix {

std::size_t DayQuantityTable::KeyHash::operator()(const Key& key) const {
  std::uint64_t date;
  std::memcpy(&date, &key.date, sizeof date);
  std::uint64_t h = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(key.goods)) << 32) ^
                    static_cast<std::uint32_t>(key.dept);
  h ^= date + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
  return std::hash<std::uint64_t>{}(h);
}

void DayQuantityTable::clear() {
  sums_.clear();
  loaded_ = false;
  pending_ = {};
}

void DayQuantityTable::loadOnFirstUse(Connection& connection, std::string sql, DateTime firstDay, DateTime lastDay,
                                      Transaction* transaction) {
  clear();
  pending_ = {&connection, transaction, std::move(sql), firstDay, lastDay};
}

void DayQuantityTable::keepOrLoadOnFirstUse(Connection& connection, std::string sql, DateTime firstDay,
                                            DateTime lastDay, Transaction* transaction) {
  if (loaded_ && sql == loadedSql_ && firstDay == loadedFirst_ && lastDay == loadedLast_) return;
  loadOnFirstUse(connection, std::move(sql), firstDay, lastDay, transaction);
}

void DayQuantityTable::loadPending() {
  if (!pending_.connection) return;
  const PendingLoad pending = std::move(pending_);
  pending_ = {};
  // A failed load leaves the table empty and not loaded; the error ends the pass.
  load(*pending.connection, pending.sql, pending.firstDay, pending.lastDay, pending.transaction);
}

void DayQuantityTable::load(Connection& connection, const std::string& sql, DateTime firstDay, DateTime lastDay,
                            Transaction* transaction) {
  clear();
  Query query(connection);
  query.setTransaction(transaction);
  query.setSql(sql);
  query.setDateTime("DAT_NO", firstDay);
  query.setDateTime("DAT_LIDZ", lastDay);
  query.open();
  const int goods = query.fieldIndex("ISPRECE"), dept = query.fieldIndex("ISNODALA"),
            date = query.fieldIndex("DATUMS"), quantity = query.fieldIndex("DAUDZUMS");
  sums_.reserve(static_cast<std::size_t>(query.rowCount()));
  for (query.first(); !query.eof(); query.next())
    sums_[Key{query.asInteger(goods), query.asInteger(dept), query.asDateTime(date)}] += query.asDouble(quantity);
  loaded_ = true;
  loadedSql_ = sql;
  loadedFirst_ = firstDay;
  loadedLast_ = lastDay;
}

double DayQuantityTable::quantity(int goods, int dept, DateTime date) {
  loadPending();
  const auto it = sums_.find(Key{goods, dept, date});
  return it == sums_.end() ? 0.0 : it->second;
}

}  // namespace talvix
