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

}  // namespace

// Each look in a short read-only transaction of its own: a monitoring snapshot stays frozen for the
// life of the transaction that first reads it.
template <typename Read>
auto MonitoredRecordOperations::look(Read read) -> decltype(read(std::declval<Query&>())) {
  if (!connection_.connected()) return std::nullopt;
  try {
    Transaction look(connection_, Transaction::Kind::ReadOnlySnapshot);
    Query query(connection_);
    query.setTransaction(&look);
    auto result = read(query);
    look.commit();
    return result;
  } catch (const DbError&) {
    return std::nullopt;
  }
}

std::optional<OpenWriters> MonitoredRecordOperations::openWriters() {
  return look([](Query& query) -> std::optional<OpenWriters> {
    query.setSql(kSeesEveryAttachmentSql);
    query.open();
    if (query.eof()) return std::nullopt;
    query.close();
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

}  // namespace talvix
