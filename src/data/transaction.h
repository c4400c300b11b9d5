#pragma once
// A transaction on a connection, started on first use. The connection's default one is read
// committed with record versions, waiting on a lock for at most lockTimeoutSeconds; work is made
// durable by commitRetaining(), which keeps the transaction (and the statements prepared in it)
// usable. A read-only snapshot sees the database as it was committed when it started, for as long
// as it runs. A no-wait one fails at once where the default one would wait for a lock. A held one
// is a read-write snapshot whose commits do nothing, so its work sees itself and is all undone by
// deactivate() or the destructor. The destructor rolls back whatever was not committed.
#include "data/fb_api.h"

#include <cstdint>

namespace talvix {

class Connection;

class Transaction {
 public:
  static constexpr int kDefaultLockTimeoutSeconds = 30;

  enum class Kind { ReadCommitted, ReadOnlySnapshot, ReadCommittedNoWait, HeldSnapshot };

  explicit Transaction(Connection& connection, Kind kind = Kind::ReadCommitted)
      : connection_(connection), kind_(kind) {}
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  ~Transaction();

  bool inTransaction() const { return handle_ != nullptr; }
  // Starts the transaction when it is not running yet.
  Firebird::ITransaction* handle();
  // Commits and keeps the transaction open; nothing to do when none is running.
  void commitRetaining();
  // Commits and ends the transaction.
  void commit();
  // Ends the transaction with a rollback.
  void deactivate();
  // The oldest transaction still active when this one started (starting it if need be): every
  // transaction this one cannot see, and every later one, has a number at least this.
  std::int64_t oldestActiveAtStart();
  // The running transaction's number (starting it if need be), asked once per transaction: a
  // retaining commit goes on under a new number. A row it writes carries it as RDB$RECORD_VERSION.
  std::int64_t number();
  // Drops the handle without asking the server: for a connection that is going away.
  void forget() noexcept;

  void setLockTimeout(int seconds) { lockTimeoutSeconds_ = seconds; }
  // For the next start: a running transaction keeps its kind until it ends.
  void setKind(Kind kind) { kind_ = kind; }
  Kind kind() const { return kind_; }

 private:
  Connection& connection_;
  Kind kind_;
  fb::Handle<Firebird::ITransaction> handle_;
  int lockTimeoutSeconds_ = kDefaultLockTimeoutSeconds;
  std::int64_t number_ = 0;  // 0: not asked since the transaction (re)started
};

}  // namespace talvix
