#pragma once
// How much has been written to the database, cheaply: the database-wide count of record inserts,
// updates and deletes since the database was opened, by any attachment, counted when done (a write
// rolled back later counts too). A rest between continuous passes watches it for work of others.
#include "data/connection.h"

#include <cstdint>
#include <optional>

namespace talvix {

class RecordOperations {
 public:
  virtual ~RecordOperations() = default;
  // The count now; nullopt when it cannot be read (no rights, a server without the monitoring
  // tables, a lost connection): then nothing can be said about others' work.
  virtual std::optional<std::int64_t> count() = 0;
};

// Reads the count from the monitoring tables, each time in a short read-only transaction of its
// own, since a monitoring snapshot stays frozen for the life of the transaction that first reads it.
class MonitoredRecordOperations : public RecordOperations {
 public:
  explicit MonitoredRecordOperations(Connection& connection) : connection_(connection) {}
  std::optional<std::int64_t> count() override;

 private:
  Connection& connection_;
};

}  // namespace talvix
