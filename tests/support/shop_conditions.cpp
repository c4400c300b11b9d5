#include "support/shop_conditions.h"

#include "data/document_tables.h"
#include "data/query.h"

#include <iterator>

namespace talvix::test {
namespace {

struct Named {
  Condition condition;
  const char* name;
  const char* text;
};
constexpr Named kNames[] = {
    {Condition::Sysdba, "sysdba", "as SYSDBA, nothing else open"},
    {Condition::Clerk, "clerk", "beside a clerk's open (uncommitted) sale"},
    {Condition::PlainUser, "plain", "as a plain user"},
    {Condition::Classic, "classic", "Classic server, as SYSDBA"},
    {Condition::PlainUserClassic, "plain-classic", "Classic server, as a plain user"},
};

constexpr char kUserTablesSql[] =
    "SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0 AND RDB$VIEW_BLR IS NULL";
constexpr char kGeneratorsSql[] = "SELECT TRIM(RDB$GENERATOR_NAME) FROM RDB$GENERATORS WHERE RDB$SYSTEM_FLAG = 0";
constexpr char kOperationLog[] = "S_OPERACIJAS";
// Above every line key the history holds, so no sale the tests commit takes it.
constexpr int kClerkKeyGap = 1000;

const Named& named(Condition condition) {
  for (const Named& n : kNames)
    if (n.condition == condition) return n;
  return kNames[0];
}

std::vector<std::string> names(Connection& c, const std::string& sql) {
  Query q(c);
  q.setSql(sql);
  std::vector<std::string> found;
  for (q.open(); !q.eof(); q.next()) found.push_back(q.asString(0));
  return found;
}

}  // namespace

const char* conditionName(Condition condition) { return named(condition).name; }
const char* conditionText(Condition condition) { return named(condition).text; }

std::optional<Condition> conditionNamed(const std::string& name) {
  for (const Named& n : kNames)
    if (name == n.name) return n.condition;
  return std::nullopt;
}

void grantPlainUser(const std::string& database) {
  Connection c;
  c.setDatabaseName(database);
  c.open();
  c.executeImmediate(std::string("CREATE OR ALTER USER ") + kPlainUser + " PASSWORD '" + kPlainPassword +
                     "' USING PLUGIN Srp");
  c.defaultTransaction().commit();
  for (const std::string& table : names(c, kUserTablesSql))
    c.executeImmediate("GRANT SELECT ON " + table + " TO USER " + kPlainUser);
  for (const DocumentKind kind : kAllKinds) {
    const DocumentTables& t = tablesOf(kind);
    c.executeImmediate(std::string("GRANT UPDATE (") + t.cost + ") ON " + t.lines + " TO USER " + kPlainUser);
  }
  c.executeImmediate(std::string("GRANT INSERT ON ") + kOperationLog + " TO USER " + kPlainUser);
  for (const std::string& generator : names(c, kGeneratorsSql))
    c.executeImmediate("GRANT USAGE ON GENERATOR " + generator + " TO USER " + kPlainUser);
  c.defaultTransaction().commit();
  c.close();
}

std::vector<std::pair<std::string, std::string>> hostCredentials(Condition condition) {
  if (!asPlainUser(condition)) return {};
  return {{"ISC_USER", kPlainUser}, {"ISC_PASSWORD", kPlainPassword}};
}

ClerkDocument::ClerkDocument(const std::string& database, DateTime day, int dept) {
  connection_.setDatabaseName(database);
  connection_.open();
  const DocumentTables& t = tablesOf(DocumentKind::Issue);
  Query key(connection_);
  key.setSql(std::string("SELECT MAX(ISN) FROM ") + t.lines);
  key.open();
  const int header = key.asInteger(0) + kClerkKeyGap;
  key.close();
  Query q(connection_);
  q.setSql(std::string("INSERT INTO ") + t.header + " (ISN, " + t.date + ", " + t.dept + ") VALUES (:ISN, :DAY, :DEPT)");
  q.setInteger("ISN", header);
  q.setDateTime("DAY", day);
  q.setInteger("DEPT", dept);
  q.execSql();
  Query line(connection_);
  line.setSql(std::string("INSERT INTO ") + t.lines + " (ISN, " + t.headerKey + ", ISPRECE, DAUDZUMS) SELECT FIRST 1 " +
              std::to_string(header + 1) + ", " + std::to_string(header) + ", ISN, 1 FROM N_KLPREC ORDER BY ISN");
  line.execSql();
}

ClerkDocument::~ClerkDocument() {
  try {
    connection_.defaultTransaction().deactivate();
    connection_.close();
  } catch (...) {
    // The server may be gone already; nothing was committed.
  }
}

}  // namespace talvix::test
