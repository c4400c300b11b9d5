#include "support/table_dump.h"

#include "data/connection.h"
#include "data/query.h"

#include <vector>

namespace talvix::test {
namespace {

std::vector<std::string> column(Connection& connection, const std::string& sql) {
  Query q(connection);
  q.setSql(sql);
  q.open();
  std::vector<std::string> values;
  for (q.first(); !q.eof(); q.next()) values.push_back(q.asString(0));
  return values;
}

}  // namespace

std::string dumpEveryTable(Connection& connection) {
  std::string text;
  for (const std::string& table : column(connection,
                                         "SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE "
                                         "RDB$SYSTEM_FLAG = 0 AND RDB$VIEW_BLR IS NULL ORDER BY 1")) {
    const std::vector<std::string> columns =
        column(connection, "SELECT TRIM(RDB$FIELD_NAME) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = '" + table +
                               "' ORDER BY RDB$FIELD_POSITION");
    Query q(connection);
    q.setSql("SELECT * FROM " + table + " ORDER BY 1");
    q.open();
    text += table + "\n";
    for (q.first(); !q.eof(); q.next()) {
      for (const std::string& name : columns) text += (q.isNull(name) ? "NULL" : q.asString(name)) + "|";
      text += "\n";
    }
  }
  return text;
}

std::string dumpEveryTable(const std::string& databaseName) {
  Connection connection;
  connection.setDatabaseName(databaseName);
  connection.open();
  std::string text = dumpEveryTable(connection);
  connection.close();
  return text;
}

}  // namespace talvix::test
