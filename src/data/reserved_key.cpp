#include "data/reserved_key.h"

#include "data/db_error.h"
#include "data/query.h"

#include <string>

namespace talvix {
namespace {

constexpr const char* kHoldSql = "INSERT INTO S_OPERACIJAS (ISN, NOSAUKUMS) VALUES (:ISN, :NOSAUKUMS)";
constexpr const char* kRowsSql = "SELECT COUNT(*) FROM S_OPERACIJAS WHERE ISN = :ISN";
// Seen only by the holder itself; says what the row is should anyone find it in a trace.
constexpr const char* kLabel = "AutoIepCenSad: piešķiršanas kārta";

}  // namespace

int ReservedKey::rowsWithKey(Transaction& transaction) {
  Query rows(connection_);
  rows.setTransaction(&transaction);
  rows.setSql(kRowsSql);
  rows.setInteger("ISN", key_);
  rows.open();
  return rows.asInteger(0);
}

bool ReservedKey::tryHold() {
  if (held()) return true;
  auto transaction = std::make_unique<Transaction>(connection_, Transaction::Kind::ReadCommittedNoWait);
  Query insert(connection_);
  insert.setTransaction(transaction.get());
  insert.setSql(kHoldSql);
  insert.setInteger("ISN", key_);
  insert.setString("NOSAUKUMS", kLabel);
  try {
    insert.execSql();
  } catch (const DbError& error) {
    if (!error.has(isc_unique_key_violation) && !error.has(isc_no_dup)) throw;
    // Another holder's row is invisible here; a row that can be seen was committed and stays.
    if (rowsWithKey(*transaction) != 0)
      throw DbError("S_OPERACIJAS holds a committed row with ISN " + std::to_string(key_) +
                    ", a key this tool reserves for taking turns; delete that row");
    return false;
  }
  if (rowsWithKey(*transaction) != 1)
    throw DbError("S_OPERACIJAS did not keep ISN " + std::to_string(key_) +
                  " for an inserted row (a trigger sets the key?); runs cannot take turns on it");
  transaction_ = std::move(transaction);
  return true;
}

}  // namespace talvix
