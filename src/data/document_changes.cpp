#include "data/document_changes.h"

#include "data/db_error.h"
#include "data/query.h"

#include <algorithm>
#include <sstream>

namespace talvix {
namespace {

// One pass over the table: its row count, "key version goods" of each row written since :SINCE,
// space-separated (goods "-" where none), and on the first look its highest key. Later looks
// know it without asking: a key above the last highest is a row written since.
std::string scanSql(const WatchedTable& table, bool first) {
  const std::string goods = table.role == TableRole::Lines ? "COALESCE(CAST(ISPRECE AS VARCHAR(11)), '-')" : "'-'";
  return "SELECT COUNT(*), LIST(IIF(RDB$RECORD_VERSION >= :SINCE, ISN || ' ' || RDB$RECORD_VERSION || ' ' || " +
         goods + ", NULL), ' ')" + (first ? ", COALESCE(MAX(ISN), 0)" : "") + " FROM " + std::string(table.name);
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

DocumentChanges DocumentWatch::look(Connection& connection, Transaction& snapshot) {
  const std::int64_t now = snapshot.oldestActiveAtStart();
  const bool known = !seen_.empty();
  // Rows kept for the next look must reach back to this snapshot's start as well as the last's.
  const std::int64_t since = known ? std::min(since_, now) : now;
  DocumentChanges changes;
  changes.known = known;
  std::unordered_map<std::string, Seen> seen;
  Query scan(connection);
  scan.setTransaction(&snapshot);
  for (const WatchedTable& table : kWatchedTables) {
    scan.setSql(scanSql(table, !known));
    scan.setDouble("SINCE", static_cast<double>(since));
    scan.open();
    Seen& after = seen[table.name];
    after.rows = static_cast<std::int64_t>(scan.asDouble(kRows));
    const std::vector<Written> written = parseWritten(scan.asString(kWritten), table.name);
    const Seen* before = known ? &seen_.at(table.name) : nullptr;
    // A deleted highest key stays the highest: a key under it then only looks edited, which no
    // reader trusts.
    after.maxKey = before ? before->maxKey : scan.asInteger(kMaxKey);
    for (const Written& row : written) after.maxKey = std::max(after.maxKey, row.key);
    scan.close();
    TableChanges found;
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
    if (before) {
      found.rowsGone = before->rows + newKeys - after.rows;
      if (!found.rows.empty() || found.rowsGone != 0) changes.tables.emplace(table.name, std::move(found));
    }
  }
  seen_ = std::move(seen);
  since_ = now;
  return changes;
}

}  // namespace talvix
