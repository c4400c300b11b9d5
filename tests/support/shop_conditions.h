#pragma once
// The conditions a shop runs a continuous run in, for the server tests and the live benchmark: as
// SYSDBA with nothing else open; beside a clerk's open document (another attachment holding an
// uncommitted sale); as a plain user granted only what README names; on a server in Classic mode
// (one process per attachment); and a plain user on a Classic server.
#include "data/connection.h"
#include "data/date_time.h"
#include "support/firebird_server.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace talvix::test {

enum class Condition { Sysdba, Clerk, PlainUser, Classic, PlainUserClassic };
inline constexpr Condition kAllConditions[] = {Condition::Sysdba, Condition::Clerk, Condition::PlainUser,
                                               Condition::Classic, Condition::PlainUserClassic};

// "sysdba", "clerk", "plain", "classic", "plain-classic".
const char* conditionName(Condition condition);
std::optional<Condition> conditionNamed(const std::string& name);
// What the condition means, for a table's row.
const char* conditionText(Condition condition);

inline FirebirdServer::Mode serverMode(Condition c) {
  return c == Condition::Classic || c == Condition::PlainUserClassic ? FirebirdServer::Mode::Classic
                                                                     : FirebirdServer::Mode::Super;
}
inline bool asPlainUser(Condition c) { return c == Condition::PlainUser || c == Condition::PlainUserClassic; }
inline bool clerkOpen(Condition c) { return c == Condition::Clerk; }

inline constexpr char kPlainUser[] = "PRICER";
inline constexpr char kPlainPassword[] = "pricer-pw";

// Makes the plain user on the database's server, as the user ISC_USER names (SYSDBA), and grants
// it what a shop grants the tool: SELECT on every table, UPDATE of the four kinds' cost columns,
// INSERT into the operation log, USAGE of every generator. Nothing else: no owner, no RDB$ADMIN.
void grantPlainUser(const std::string& database);
// ISC_USER and ISC_PASSWORD for a host run in the condition (none: it inherits SYSDBA's).
std::vector<std::pair<std::string, std::string>> hostCredentials(Condition condition);

// A clerk's document left open: another attachment inserts a sale header and one line without cost
// on the given day and department and holds them uncommitted until it is destroyed (rolled back).
class ClerkDocument {
 public:
  ClerkDocument(const std::string& database, DateTime day, int dept);
  ClerkDocument(const ClerkDocument&) = delete;
  ClerkDocument& operator=(const ClerkDocument&) = delete;
  ~ClerkDocument();

 private:
  Connection connection_;
};

}  // namespace talvix::test
