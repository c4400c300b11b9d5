#pragma once
// How much has been written to the database, cheaply: the database-wide count of record inserts,
// updates and deletes since the database was opened, by any attachment, counted when done, less
// those backed out again (a rolled-back write, a failed insert, another run's turn given back:
// they change nothing). A rest between continuous passes watches it for work of others.
#include "data/connection.h"
#include "data/query.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace talvix {

// Other attachments' open transactions that have written and not backed it out: their work
// becomes visible when they end, which the count does not show. Compared whole; a set that lost or
// gained one differs.
struct OpenWriters {
  std::int64_t transactions = 0;
  std::int64_t keySum = 0;
  bool operator==(const OpenWriters&) const = default;
};

// The count and the open writers as one monitoring snapshot gives them: what a rest compares.
struct WriteActivity {
  std::optional<std::int64_t> count;
  std::optional<OpenWriters> writers;
  bool operator==(const WriteActivity&) const = default;
};

class RecordOperations {
 public:
  virtual ~RecordOperations() = default;
  // The count now; nullopt when it cannot be read (no rights, a server without the monitoring
  // tables, a lost connection): then nothing can be said about others' work.
  virtual std::optional<std::int64_t> count() = 0;
  // nullopt unless every attachment's transactions can be seen (SYSDBA, the database's owner or
  // RDB$ADMIN): others see only their own, so an empty set would prove nothing.
  virtual std::optional<OpenWriters> openWriters() { return std::nullopt; }
  // Both; writers only where the count could be read.
  virtual WriteActivity activity() {
    WriteActivity now{count(), std::nullopt};
    if (now.count) now.writers = openWriters();
    return now;
  }
};

// Reads the count from the monitoring tables, each time in a short read-only transaction of its
// own, since a monitoring snapshot stays frozen for the life of the transaction that first reads it.
class MonitoredRecordOperations : public RecordOperations {
 public:
  explicit MonitoredRecordOperations(Connection& connection) : connection_(connection) {}
  std::optional<std::int64_t> count() override;
  std::optional<OpenWriters> openWriters() override;
  // One snapshot, one statement: a monitoring snapshot is most of what a question costs the server.
  WriteActivity activity() override;

 private:
  template <typename Read>
  auto look(Read read) -> decltype(read(std::declval<Query&>()));

  Connection& connection_;
};

// One table's record inserts, updates and deletes, counted database-wide when done (backed out
// or not) since the database was opened: each only grows while any attachment keeps it open.
struct TableWrites {
  std::int64_t inserts = 0;
  std::int64_t updates = 0;
  std::int64_t deletes = 0;
  bool operator==(const TableWrites&) const = default;
  TableWrites operator-(const TableWrites& o) const {
    return {inserts - o.inserts, updates - o.updates, deletes - o.deletes};
  }
};
using TableWritesByName = std::unordered_map<std::string, TableWrites>;

// The counts as one monitoring snapshot gives them. Each attachment adds its own writes to them
// at the moment it lists its open transactions for that snapshot, so a write counted here either
// belongs to a transaction that had ended by then or shows in openWrites.
struct WriteCounts {
  std::int64_t attachment = 0;                 // the reader's: while it lives, the database stays open
  TableWritesByName tables;                    // a table not named has none
  TableWritesByName own;                       // the reader attachment's share of them
  std::unordered_set<std::string> openWrites;  // tables an open transaction, ours included, wrote

  TableWrites of(const std::string& table) const { return in(tables, table); }
  TableWrites ownOf(const std::string& table) const { return in(own, table); }

 private:
  static TableWrites in(const TableWritesByName& counts, const std::string& table) {
    const auto found = counts.find(table);
    return found == counts.end() ? TableWrites{} : found->second;
  }
};

// nullopt unless every attachment can be seen (as openWriters()) and the server keeps
// database-wide counts (a server in Classic mode gives none): then nothing can be said.
std::optional<WriteCounts> readWriteCounts(Connection& connection);

}  // namespace talvix
