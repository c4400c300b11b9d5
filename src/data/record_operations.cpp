#include "data/record_operations.h"

#include "data/db_error.h"
#include "data/query.h"

namespace talvix {
namespace {

constexpr const char* kCountSql =
    "SELECT R.MON$RECORD_INSERTS + R.MON$RECORD_UPDATES + R.MON$RECORD_DELETES - R.MON$RECORD_BACKOUTS "
    "FROM MON$DATABASE D "
    "JOIN MON$RECORD_STATS R ON R.MON$STAT_ID = D.MON$STAT_ID";

constexpr const char* kSeesEveryAttachmentSql =
    "SELECT 1 FROM MON$DATABASE D WHERE CURRENT_USER = 'SYSDBA' OR CURRENT_USER = D.MON$OWNER "
    "OR CURRENT_ROLE = 'RDB$ADMIN'";
constexpr const char* kOpenWritersSql =
    "SELECT COUNT(*), SUM(T.MON$TRANSACTION_ID) FROM MON$TRANSACTIONS T JOIN MON$RECORD_STATS R "
    "ON R.MON$STAT_ID = T.MON$STAT_ID WHERE T.MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND "
    "R.MON$RECORD_INSERTS + R.MON$RECORD_UPDATES + R.MON$RECORD_DELETES - R.MON$RECORD_BACKOUTS > 0";

constexpr const char* kActivitySql =
    "SELECT (SELECT R.MON$RECORD_INSERTS + R.MON$RECORD_UPDATES + R.MON$RECORD_DELETES - R.MON$RECORD_BACKOUTS "
    "FROM MON$RECORD_STATS R WHERE R.MON$STAT_ID = D.MON$STAT_ID), "
    "IIF(CURRENT_USER = 'SYSDBA' OR CURRENT_USER = D.MON$OWNER OR CURRENT_ROLE = 'RDB$ADMIN', 1, 0), W.N, W.S "
    "FROM MON$DATABASE D CROSS JOIN (SELECT COUNT(*) N, COALESCE(SUM(T.MON$TRANSACTION_ID), 0) S "
    "FROM MON$TRANSACTIONS T JOIN MON$RECORD_STATS R ON R.MON$STAT_ID = T.MON$STAT_ID "
    "WHERE T.MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND "
    "R.MON$RECORD_INSERTS + R.MON$RECORD_UPDATES + R.MON$RECORD_DELETES - R.MON$RECORD_BACKOUTS > 0) W";

constexpr const char* kTableWritesSql =
    "SELECT TRIM(S.MON$TABLE_NAME), R.MON$RECORD_INSERTS, R.MON$RECORD_UPDATES, R.MON$RECORD_DELETES, "
    "CURRENT_CONNECTION FROM MON$TABLE_STATS S JOIN MON$RECORD_STATS R ON R.MON$STAT_ID = S.MON$RECORD_STAT_ID "
    "WHERE S.MON$STAT_GROUP = 0";
constexpr const char* kOwnTableWritesSql =
    "SELECT TRIM(S.MON$TABLE_NAME), R.MON$RECORD_INSERTS, R.MON$RECORD_UPDATES, R.MON$RECORD_DELETES "
    "FROM MON$ATTACHMENTS A JOIN MON$TABLE_STATS S ON S.MON$STAT_ID = A.MON$STAT_ID "
    "JOIN MON$RECORD_STATS R ON R.MON$STAT_ID = S.MON$RECORD_STAT_ID "
    "WHERE A.MON$ATTACHMENT_ID = CURRENT_CONNECTION";
constexpr const char* kOpenTableWritesSql =
    "SELECT DISTINCT TRIM(S.MON$TABLE_NAME) FROM MON$TRANSACTIONS T "
    "JOIN MON$TABLE_STATS S ON S.MON$STAT_ID = T.MON$STAT_ID "
    "JOIN MON$RECORD_STATS R ON R.MON$STAT_ID = S.MON$RECORD_STAT_ID "
    "WHERE R.MON$RECORD_INSERTS + R.MON$RECORD_UPDATES + R.MON$RECORD_DELETES > 0";

// Each look in a short read-only transaction of its own: a monitoring snapshot stays frozen for the
// life of the transaction that first reads it.
template <typename Read>
auto look(Connection& connection, Read read) -> decltype(read(std::declval<Query&>())) {
  if (!connection.connected()) return std::nullopt;
  try {
    Transaction look(connection, Transaction::Kind::ReadOnlySnapshot);
    Query query(connection);
    query.setTransaction(&look);
    auto result = read(query);
    look.commit();
    return result;
  } catch (const DbError&) {
    return std::nullopt;
  }
}

bool seesEveryAttachment(Query& query) {
  query.setSql(kSeesEveryAttachmentSql);
  query.open();
  const bool sees = !query.eof();
  query.close();
  return sees;
}

// Columns 1 to 3: inserts, updates, deletes.
TableWrites tableWrites(const Query& query) {
  return {static_cast<std::int64_t>(query.asDouble(1)), static_cast<std::int64_t>(query.asDouble(2)),
          static_cast<std::int64_t>(query.asDouble(3))};
}

}  // namespace

template <typename Read>
auto MonitoredRecordOperations::look(Read read) -> decltype(read(std::declval<Query&>())) {
  return talvix::look(connection_, read);
}

std::optional<OpenWriters> MonitoredRecordOperations::openWriters() {
  return look([](Query& query) -> std::optional<OpenWriters> {
    if (!seesEveryAttachment(query)) return std::nullopt;
    query.setSql(kOpenWritersSql);
    query.open();
    return OpenWriters{static_cast<std::int64_t>(query.asDouble(0)), static_cast<std::int64_t>(query.asDouble(1))};
  });
}

std::optional<std::int64_t> MonitoredRecordOperations::count() {
  return look([](Query& query) -> std::optional<std::int64_t> {
    query.setSql(kCountSql);
    query.open();
    if (query.eof() || query.isNull(0)) return std::nullopt;
    // Exact as a double far beyond any count a database reaches.
    return static_cast<std::int64_t>(query.asDouble(0));
  });
}

WriteActivity MonitoredRecordOperations::activity() {
  const auto read = look([](Query& query) -> std::optional<WriteActivity> {
    query.setSql(kActivitySql);
    query.open();
    if (query.eof() || query.isNull(0)) return std::nullopt;
    WriteActivity now{static_cast<std::int64_t>(query.asDouble(0)), std::nullopt};
    if (query.asInteger(1) == 1)
      now.writers =
          OpenWriters{static_cast<std::int64_t>(query.asDouble(2)), static_cast<std::int64_t>(query.asDouble(3))};
    return now;
  });
  return read.value_or(WriteActivity{});
}

std::optional<WriteCounts> readWriteCounts(Connection& connection) {
  return look(connection, [](Query& query) -> std::optional<WriteCounts> {
    if (!seesEveryAttachment(query)) return std::nullopt;
    WriteCounts counts;
    query.setSql(kTableWritesSql);
    for (query.open(); !query.eof(); query.next()) {
      counts.attachment = static_cast<std::int64_t>(query.asDouble(4));
      counts.tables[query.asString(0)] = tableWrites(query);
    }
    query.close();
    query.setSql(kOwnTableWritesSql);
    for (query.open(); !query.eof(); query.next()) counts.own[query.asString(0)] = tableWrites(query);
    query.close();
    // No table at all: nothing written since the database was opened, or a server that keeps no
    // database-wide counts (Classic); the two cannot be told apart.
    if (counts.tables.empty()) return std::nullopt;
    query.setSql(kOpenTableWritesSql);
    for (query.open(); !query.eof(); query.next()) counts.openWrites.insert(query.asString(0));
    return counts;
  });
}

}  // namespace talvix
