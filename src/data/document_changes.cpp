#include "data/document_changes.h"

#include "data/db_error.h"
#include "data/query.h"

#include <algorithm>
#include <cstdlib>
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

// The window: the rows above :FLOOR, read by the primary key's index, as scanSql lists them.
std::string windowSql(const WatchedTable& table) {
  return "SELECT COUNT(*), LIST(IIF(RDB$RECORD_VERSION >= :SINCE, ISN || ' ' || RDB$RECORD_VERSION || ' ' || " +
         goodsText(table) + ", NULL), ' ') FROM " + std::string(table.name) + " WHERE ISN > :FLOOR";
}

// Every table's window in one row: "rows versions keys", each a sum, by the primary key's index.
std::string printSql(const std::unordered_map<std::string, std::int64_t>& floors) {
  std::string sql = "SELECT ";
  for (const WatchedTable& table : kWatchedTables)
    sql += std::string(sql.size() > 7 ? ", " : "") +
           "(SELECT COUNT(*) || ' ' || COALESCE(SUM(RDB$RECORD_VERSION), 0) || ' ' || COALESCE(SUM(ISN), 0) FROM " +
           table.name + " WHERE ISN > " + std::to_string(floors.at(table.name)) + ")";
  return sql + " FROM RDB$DATABASE";
}

int fromEnvironment(const char* name, int otherwise) {
  const char* text = std::getenv(name);
  if (!text || !*text) return otherwise;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  return *end == '\0' && value >= 0 && value <= std::numeric_limits<int>::max() ? static_cast<int>(value) : otherwise;
}

std::int64_t floorUnder(std::int32_t maxKey, std::int32_t windowKeys) {
  return static_cast<std::int64_t>(maxKey) - windowKeys;
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

DocumentWatch::DocumentWatch()
    : every_(fromEnvironment("TALVIX_WHOLE_LOOK_SECONDS", kWholeLookSeconds)),
      windowKeys_(fromEnvironment("TALVIX_WATCH_WINDOW_KEYS", kWindowKeys)) {}

const DocumentWatch::Base* DocumentWatch::baseFor(const std::string& table,
                                                  const std::optional<WriteCounts>& now) const {
  const auto base = base_.find(table);
  return !now || now->attachment != baseAttachment_ || base == base_.end() ? nullptr : &base->second;
}

bool DocumentWatch::wholeDue(const Seen& seen, Clock::time_point time) const {
  return seen.deepUnread && time - seen.wholeAt >= every_;
}

DocumentWatch::Read DocumentWatch::howToRead(const std::string& table, const std::optional<WriteCounts>& now,
                                             const Seen* before, Clock::time_point time) const {
  if (!before || wholeDue(*before, time)) return Read::Scan;
  const Base* base = baseFor(table, now);
  // Nothing proves the depth unchanged: the window now, the depth when it is due.
  if (!base) return every_.count() == 0 ? Read::Scan : Read::Window;
  const TableWrites counted = now->of(table);
  if (counted == base->all) return Read::Keep;
  if (counted.updates == base->all.updates && counted.deletes == base->all.deletes) return Read::NewRows;
  return Read::Scan;
}

DocumentChanges DocumentChanges::othersOnly() const {
  DocumentChanges others;
  others.known = known;
  for (const auto& [name, changed] : tables) {
    if (ownOnly.contains(name)) continue;
    TableChanges theirs{{}, changed.rowsGone};
    for (const ChangedRow& row : changed.rows)
      if (!row.own) theirs.rows.push_back(row);
    if (!theirs.rows.empty() || theirs.rowsGone != 0) others.tables.emplace(name, std::move(theirs));
  }
  return others;
}

bool DocumentWatch::onlyOwnWrites(const std::string& table, const std::optional<WriteCounts>& now) const {
  const Base* base = baseFor(table, now);
  return base && (now->of(table) - base->all) - (now->ownOf(table) - base->own) == TableWrites{};
}

DocumentChanges DocumentWatch::look(Connection& connection, Transaction& snapshot) {
  const Moment at{snapshot.oldestActiveAtStart(), snapshotAt_.value_or(Clock::now())};
  snapshotAt_.reset();
  const std::optional<WriteCounts> counted = base_.empty() ? std::nullopt : readWriteCounts(connection);
  DocumentChanges changes;
  changes.known = !seen_.empty();
  reads_ = {};
  std::unordered_map<std::string, Seen> seen;
  std::unordered_map<std::string, Base> base;
  Query query(connection);
  query.setTransaction(&snapshot);
  for (const WatchedTable& table : kWatchedTables) {
    TableChanges found;
    const Read read = lookAt(query, table, counted, at, seen[table.name], found);
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
  since_ = at.oldestActive;
  counted_ = before_.has_value();
  keepBase(counted, std::move(base));
  forgetOldOwn();
  readPrints(query);
  return changes;
}

DocumentWatch::Read DocumentWatch::lookAt(Query& query, const WatchedTable& table,
                                          const std::optional<WriteCounts>& counted, const Moment& at, Seen& after,
                                          TableChanges& found) {
  Seen* before = seen_.empty() ? nullptr : &seen_.at(table.name);
  Read read = howToRead(table.name, counted, before, at.time);
  if (read == Read::NewRows) {
    const std::int64_t inserts = counted->of(table.name).inserts - base_.at(table.name).all.inserts;
    if (!readNewRows(query, table, inserts, *before, after, found)) read = Read::Scan;
  }
  if (read == Read::Keep) after = std::move(*before);
  // The counts proved the whole table, depth included, unless a look since its last whole read did not.
  if ((read == Read::Keep || read == Read::NewRows) && !after.deepUnread) after.deepSince = at.oldestActive;
  const bool owned = !baseFor(table.name, counted);
  if (read == Read::Window) readWindow(query, table, at, owned, *before, after, found);
  if (read == Read::Scan) scan(query, table, at, owned, before, after, found);
  ++(read == Read::Keep      ? reads_.kept
     : read == Read::NewRows ? reads_.newRows
     : read == Read::Window  ? reads_.window
                             : reads_.scanned);
  return read;
}

void DocumentWatch::keepBase(const std::optional<WriteCounts>& counted, std::unordered_map<std::string, Base> base) {
  // Counts from another attachment may have started again from nothing.
  if (before_ && (!counted || before_->attachment == counted->attachment)) {
    base_ = std::move(base);
    baseAttachment_ = before_->attachment;
  } else {
    base_.clear();
  }
  before_.reset();
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
  after.windowRows += inserts;  // above the highest key, so above the floor
  for (const Written& row : written) {
    after.recent.insert_or_assign(row.key, row.version);
    after.maxKey = std::max(after.maxKey, row.key);
    found.rows.push_back({row.key, row.goods, true});
  }
  return true;
}

// Rows of the window written since the last look; the depth stays as the last whole read left it.
void DocumentWatch::readWindow(Query& query, const WatchedTable& table, const Moment& at, bool owned, Seen& before,
                               Seen& after, TableChanges& found) const {
  query.setSql(windowSql(table));
  query.setDouble("SINCE", static_cast<double>(std::min(since_, at.oldestActive)));
  query.setDouble("FLOOR", static_cast<double>(before.floor));
  query.open();
  const auto rows = static_cast<std::int64_t>(query.asDouble(kRows));
  const std::vector<Written> written = parseWritten(query.asString(kWritten), table.name);
  query.close();
  after = std::move(before);
  std::int64_t newKeys = 0;
  for (const Written& row : written) {
    const auto old = after.recent.find(row.key);
    if (row.version < since_ || (old != after.recent.end() && old->second == row.version)) continue;
    const bool newKey = row.key > after.maxKey;
    newKeys += newKey;
    found.rows.push_back({row.key, row.goods, newKey, ownVersion(row.version, owned)});
  }
  std::erase_if(after.recent, [&](const auto& entry) { return entry.first > after.floor; });
  for (const Written& row : written) {
    after.recent.emplace(row.key, row.version);
    after.maxKey = std::max(after.maxKey, row.key);
  }
  found.rowsGone = after.windowRows + newKeys - rows;
  after.rows += rows - after.windowRows;
  after.windowRows = rows;
  after.deepUnread = true;
}

void DocumentWatch::scan(Query& query, const WatchedTable& table, const Moment& at, bool owned, const Seen* before,
                         Seen& after, TableChanges& found) const {
  // The depth changed since it was last read whole, the window since the last look.
  const std::int64_t since = before ? std::min({before->deepSince, since_, at.oldestActive}) : at.oldestActive;
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
    if (!before || row.version < (row.key > before->floor ? since_ : before->deepSince)) continue;
    const auto old = before->recent.find(row.key);
    if (old != before->recent.end() && old->second == row.version) continue;
    const bool newKey = row.key > before->maxKey;
    newKeys += newKey;
    found.rows.push_back({row.key, row.goods, newKey, ownVersion(row.version, owned)});
  }
  if (before) found.rowsGone = before->rows + newKeys - after.rows;
  after.floor = floorUnder(after.maxKey, windowKeys_);
  after.deepSince = at.oldestActive;
  after.wholeAt = at.time;
  query.setSql("SELECT COUNT(*) FROM " + std::string(table.name) + " WHERE ISN > :FLOOR");
  query.setDouble("FLOOR", static_cast<double>(after.floor));
  query.open();
  after.windowRows = static_cast<std::int64_t>(query.asDouble(0));
  query.close();
}

// A number under every look's since marks no row a look will list again.
void DocumentWatch::forgetOldOwn() {
  std::int64_t oldest = since_;
  for (const auto& [name, seen] : seen_) oldest = std::min(oldest, seen.deepSince);
  std::erase_if(own_, [&](std::int64_t number) { return number < oldest; });
}

void DocumentWatch::readPrints(Query& query) {
  for (const Part part : {Part::Whole, Part::Top}) {
    std::unordered_map<std::string, std::int64_t> floors;
    for (const auto& [name, seen] : seen_)
      floors.emplace(name, part == Part::Whole ? seen.floor : std::max(seen.floor, floorUnder(seen.maxKey, topKeys_)));
    Print& print = prints_[static_cast<std::size_t>(part)];
    print.sql = printSql(floors);
    query.setSql(print.sql);
    query.open();
    print.values.clear();
    for (std::size_t i = 0; i < std::size(kWatchedTables); ++i)
      print.values.push_back(query.asString(static_cast<int>(i)));
    query.close();
  }
}

std::optional<bool> DocumentWatch::windowMoved(Connection& connection, Part part) const {
  const Print& print = prints_[static_cast<std::size_t>(part)];
  if (print.values.empty() || !connection.connected()) return std::nullopt;
  try {
    Transaction now(connection, Transaction::Kind::ReadOnlySnapshot);
    Query query(connection);
    query.setTransaction(&now);
    query.setSql(print.sql);
    query.open();
    bool moved = false;
    for (std::size_t i = 0; i < print.values.size(); ++i)
      moved = moved || query.asString(static_cast<int>(i)) != print.values[i];
    query.close();
    now.commit();
    return moved;
  } catch (const DbError&) {
    return std::nullopt;
  }
}

std::optional<DocumentWatch::Clock::time_point> DocumentWatch::wholeLookDue() const {
  std::optional<Clock::time_point> due;
  for (const auto& [name, seen] : seen_)
    if (seen.deepUnread && (!due || seen.wholeAt + every_ < *due)) due = seen.wholeAt + every_;
  return due;
}

}  // namespace talvix
