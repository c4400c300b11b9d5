#pragma once
// One reserved key of the operation log S_OPERACIJAS, held by inserting a row with it in a no-wait
// transaction of its own on the caller's connection and never committing it. The database server
// keeps the hold: another attachment's insert of the key, from any machine and by any user with
// the log's INSERT right, fails at once until the holder rolls back, detaches or dies (the server
// rolls back a dead attachment's work, also when it starts again after a crash). Readers that take
// record versions or snapshots never see the row; readers in read committed without record versions
// that scan over it wait for it. Nothing is ever committed, and the keys used are negative, which
// the log's sequence never gives. Release before the connection closes.
#include "data/connection.h"

#include <memory>

namespace talvix {

class ReservedKey {
 public:
  ReservedKey(Connection& connection, int key) : connection_(connection), key_(key) {}
  ReservedKey(const ReservedKey&) = delete;
  ReservedKey& operator=(const ReservedKey&) = delete;
  ~ReservedKey() = default;  // releases

  // True when this holds the key now, false while another attachment holds it. Throws DbError on
  // any other failure, also when a committed row has the key or the log gave the row another key
  // (a trigger): then no hold can ever mean anything.
  bool tryHold();
  // Rolls the row back; a lost connection has nothing left to roll back.
  void release() noexcept { transaction_.reset(); }
  bool held() const { return transaction_ != nullptr; }

 private:
  int rowsWithKey(Transaction& transaction);

  Connection& connection_;
  const int key_;
  std::unique_ptr<Transaction> transaction_;  // while held
};

}  // namespace talvix
