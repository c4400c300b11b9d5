#pragma once
// One attachment to a Firebird database and its default transaction. The database name is a
// Firebird connection string: a file path opens the database embedded, host/port:path goes through
// a server. User and password come from ISC_USER and ISC_PASSWORD (SYSDBA when unset); the
// character set is UTF8. close() always leaves the connection closed and ready for open().
#include "data/fb_api.h"
#include "data/transaction.h"

#include <cstdint>
#include <string>

namespace talvix {

class Connection {
 public:
  Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();

  void setDatabaseName(std::string name) { databaseName_ = std::move(name); }
  const std::string& databaseName() const { return databaseName_; }

  // Attaches; throws DbError with Firebird's text when the database cannot be opened.
  void open();
  // Ends the default transaction (rolled back), then detaches. A failed detach still releases the
  // handles; its error is thrown afterwards.
  void close();
  bool connected() const { return attachment_ != nullptr; }

  Transaction& defaultTransaction() { return transaction_; }
  Firebird::IAttachment* attachment();
  // Changes every time the attachment goes away, so prepared statements know they are stale.
  std::uint64_t generation() const { return generation_; }

  // Runs one statement without parameters or results in the default transaction.
  void executeImmediate(const std::string& sql);

 private:
  std::string databaseName_;
  fb::Handle<Firebird::IAttachment> attachment_;
  Transaction transaction_;
  std::uint64_t generation_ = 0;
};

// Creates a new, empty database file (or server database) with page size 8192, UTF8 default
// character set, and the given statements executed in order, each committed.
void createDatabase(const std::string& databaseName, const std::string& statements);

}  // namespace talvix
