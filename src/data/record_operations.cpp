#include "data/record_operations.h"

#include "data/db_error.h"
#include "data/query.h"

namespace talvix {
namespace {

constexpr const char* kCountSql =
    "SELECT R.MON$RECORD_INSERTS + R.MON$RECORD_UPDATES + R.MON$RECORD_DELETES FROM MON$DATABASE D "
    "JOIN MON$RECORD_STATS R ON R.MON$STAT_ID = D.MON$STAT_ID";

}  // namespace

std::optional<std::int64_t> MonitoredRecordOperations::count() {
  if (!connection_.connected()) return std::nullopt;
  try {
    Transaction look(connection_, Transaction::Kind::ReadOnlySnapshot);
    Query query(connection_);
    query.setTransaction(&look);
    query.setSql(kCountSql);
    query.open();
    if (query.eof() || query.isNull(0)) return std::nullopt;
    // Exact as a double far beyond any count a database reaches.
    const auto operations = static_cast<std::int64_t>(query.asDouble(0));
    look.commit();
    return operations;
  } catch (const DbError&) {
    return std::nullopt;
  }
}

}  // namespace talvix
