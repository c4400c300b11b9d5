#include "data/document_changes.h"

#include "data/db_error.h"
#include "data/query.h"

#include <algorithm>
#include <sstream>

namespace talvix {
namespace {

std::string goodsText(const WatchedTable& table) {
  return table.role == TableRole::Lines ? "COALESCE(CAST(ISPRECE AS VARCHAR(11)), '-')" : "'-'";
}

// One pass over the table: its row count, "key version goods" of each row written since :SINCE,
// space-separated (goods "-" where none), and on the first look its highest key. Later looks
// know it without asking: a key above the last highest is a row written since.
std::string scanSql(const WatchedTable& table, bool first) {
  return "SELECT COUNT(*), LIST(IIF(RDB$RECORD_VERSION >= :SINCE, ISN || ' ' || RDB$RECORD_VERSION || ' ' || " +
         goodsText(table) + ", NULL), ' ')" + (first ? ", COALESCE(MAX(ISN), 0)" : "") + " FROM " +
         std::string(table.name);
}

// The rows above a key, read by the primary key's index, as scanSql lists them.
std::string newRowsSql(const WatchedTable& table) {
  return "SELECT LIST(ISN || ' ' || RDB$RECORD_VERSION || ' ' || " + goodsText(table) + ", ' ') FROM " +
         std::string(table.name) + " WHERE ISN > :KEY";
}

enum Column { kRows, kWritten, kMaxKey };

struct Written {
  std::int32_t key;
  std::int64_t version;
  std::int32_t goods;
};

std::vector<Written> parseWritten(const std::string& text, const char* table) {
  std::vector<Written> rows;
  std::istringstream in(text);
  std::string key, version, goods;
  while (in >> key >> version >> goods) {
    try {
      rows.push_back({static_cast<std::int32_t>(std::stol(key)), std::stoll(version),
                      goods == "-" ? kNoGoods : static_cast<std::int32_t>(std::stol(goods))});
    } catch (const std::exception&) {
      throw DbError(std::string("The rows written in ") + table + " came back unreadable near '" + key + "'");
    }
  }
  return rows;
}

}  // namespace

bool DocumentChanges::headerEditedOrRowGone() const {
  for (const WatchedTable& table : kWatchedTables) {
    const TableChanges* changed = of(table.name);
    if (!changed || table.role == TableRole::Register) continue;
    if (changed->rowsGone != 0) return true;
    if (table.role == TableRole::Header)
      for (const ChangedRow& row : changed->rows)
        if (!row.newKey) return true;
  }
  return false;
}

const DocumentWatch::Base* DocumentWatch::baseFor(const std::string& table,
                                                   const std::optional<WriteCounts>& now) const {
  const auto base = base_.find(table);
  return !now || now->attachment != baseAttachment_ || base == base_.end() ? nullptr : &base->second;
}

DocumentWatch::Read DocumentWatch::howToRead(const std::string& table, const std::optional<WriteCounts>& now) const {
  const Base* base = baseFor(table, now);
  if (!base) return Read::Scan;
  const TableWrites counted = now->of(table);
  if (counted == base->all) return Read::Keep;
  if (counted.updates == base->all.updates && counted.deletes == base->all.deletes) return Read::NewRows;
  return Read::Scan;
}

DocumentChanges DocumentChanges::othersOnly() const {
  DocumentChanges others;
  others.known = known;
  for (const auto& [name, changed] : tables)
    if (!ownOnly.contains(name)) others.tables.emplace(name, changed);
  return others;
}

bool DocumentWatch::onlyOwnWrites(const std::string& table, const std::optional<WriteCounts>& now) const {
  const Base* base = baseFor(table, now);
  return base && (now->of(table) - base->all) - (now->ownOf(table) - base->own) == TableWrites{};
}

DocumentChanges DocumentWatch::look(Connection& connection, Transaction& snapshot) {
  const std::int64_t now = snapshot.oldestActiveAtStart();
  const bool known = !seen_.empty();
  // Rows kept for the next look must reach back to this snapshot's start as well as the last's.
  const std::int64_t since = known ? std::min(since_, now) : now;
  const std::optional<WriteCounts> counted = base_.empty() ? std::nullopt : readWriteCounts(connection);
  DocumentChanges changes;
  changes.known = known;
  reads_ = {};
  std::unordered_map<std::string, Seen> seen;
  std::unordered_map<std::string, Base> base;
  Query query(connection);
  query.setTransaction(&snapshot);
  for (const WatchedTable& table : kWatchedTables) {
    Seen* before = known ? &seen_.at(table.name) : nullptr;
    Seen& after = seen[table.name];
    TableChanges found;
    Read read = before ? howToRead(table.name, counted) : Read::Scan;
    if (read == Read::NewRows) {
      const std::int64_t inserts = counted->of(table.name).inserts - base_.at(table.name).all.inserts;
      if (!readNewRows(query, table, inserts, *before, after, found)) read = Read::Scan;
    }
    if (read == Read::Keep) after = std::move(*before);
    if (read == Read::Scan) scan(query, table, since, before, after, found);
    ++(read == Read::Keep ? reads_.kept : read == Read::NewRows ? reads_.newRows : reads_.scanned);
    if (!found.rows.empty() || found.rowsGone != 0) {
      if (onlyOwnWrites(table.name, counted)) changes.ownOnly.insert(table.name);
      changes.tables.emplace(table.name, std::move(found));
    }
    // A base where an open transaction had written would count writes this snapshot cannot see.
    if (read == Read::Keep)
      base[table.name] = base_.at(table.name);
    else if (before_ && !before_->openWrites.contains(table.name))
      base[table.name] = {before_->of(table.name), before_->ownOf(table.name)};
  }
  seen_ = std::move(seen);
  since_ = now;
  // Counts from another attachment may have started again from nothing.
  if (before_ && (!counted || before_->attachment == counted->attachment)) {
    base_ = std::move(base);
    baseAttachment_ = before_->attachment;
  } else {
    base_.clear();
  }
  before_.reset();
  return changes;
}

bool DocumentWatch::readNewRows(Query& query, const WatchedTable& table, std::int64_t inserts, Seen& before,
                                Seen& after, TableChanges& found) {
  query.setSql(newRowsSql(table));
  query.setInteger("KEY", before.maxKey);
  query.open();
  const std::vector<Written> written = parseWritten(query.asString(0), table.name);
  query.close();
  // Fewer rows than inserts: one rolled back, not yet committed, or placed under the highest key.
  if (static_cast<std::int64_t>(written.size()) != inserts) return false;
  after = std::move(before);
  after.rows += inserts;
  for (const Written& row : written) {
    after.recent.insert_or_assign(row.key, row.version);
    after.maxKey = std::max(after.maxKey, row.key);
    found.rows.push_back({row.key, row.goods, true});
  }
  return true;
}

void DocumentWatch::scan(Query& query, const WatchedTable& table, std::int64_t since, const Seen* before, Seen& after,
                         TableChanges& found) {
  query.setSql(scanSql(table, !before));
  query.setDouble("SINCE", static_cast<double>(since));
  query.open();
  after.rows = static_cast<std::int64_t>(query.asDouble(kRows));
  const std::vector<Written> written = parseWritten(query.asString(kWritten), table.name);
  // A deleted highest key stays the highest: a key under it then only looks edited, which no
  // reader trusts.
  after.maxKey = before ? before->maxKey : query.asInteger(kMaxKey);
  for (const Written& row : written) after.maxKey = std::max(after.maxKey, row.key);
  query.close();
  std::int64_t newKeys = 0;
  for (const Written& row : written) {
    after.recent.emplace(row.key, row.version);
    if (!before || row.version < since_) continue;
    const auto old = before->recent.find(row.key);
    if (old != before->recent.end() && old->second == row.version) continue;
    const bool newKey = row.key > before->maxKey;
    newKeys += newKey;
    found.rows.push_back({row.key, row.goods, newKey});
  }
  if (before) found.rowsGone = before->rows + newKeys - after.rows;
}

}  // namespace talvix
