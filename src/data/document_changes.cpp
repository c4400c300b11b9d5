#include "data/document_changes.h"

#include "data/query.h"

#include <algorithm>

namespace talvix {
namespace {

// One pass over the table: the rows written since :SINCE, then one row with the count and the
// highest key (FLAG 1).
std::string scanSql(const WatchedTable& table) {
  const std::string name = table.name;
  const std::string goods = table.hasGoods ? "ISPRECE" : "CAST(NULL AS INTEGER)";
  return "SELECT ISN, RDB$RECORD_VERSION, " + goods + ", 0 FLAG FROM " + name +
         " WHERE RDB$RECORD_VERSION >= :SINCE UNION ALL SELECT COALESCE(MAX(ISN), 0), COUNT(*), NULL, 1 FROM " + name;
}

enum Column { kKey, kVersionOrRows, kGoods, kFlag };

}  // namespace

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
    scan.setSql(scanSql(table));
    scan.setDouble("SINCE", static_cast<double>(since));
    scan.openStream();
    const Seen* before = known ? &seen_.at(table.name) : nullptr;
    Seen& after = seen[table.name];
    TableChanges found;
    std::int64_t newKeys = 0;
    while (scan.fetch()) {
      if (scan.asInteger(kFlag) == 1) {
        after.maxKey = scan.asInteger(kKey);
        after.rows = static_cast<std::int64_t>(scan.asDouble(kVersionOrRows));
        continue;
      }
      const std::int32_t key = scan.asInteger(kKey);
      const auto version = static_cast<std::int64_t>(scan.asDouble(kVersionOrRows));
      after.recent.emplace(key, version);
      if (!before || version < since_) continue;
      const auto old = before->recent.find(key);
      if (old != before->recent.end() && old->second == version) continue;
      const bool newKey = key > before->maxKey;
      newKeys += newKey;
      found.rows.push_back({key, scan.isNull(kGoods) ? kNoGoods : scan.asInteger(kGoods), newKey});
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
