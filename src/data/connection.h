#pragma once
// One attachment to a Firebird database and its default transaction. The database name is a
// Firebird connection string: a file path opens the database embedded, host/port:path goes through
// a server. User and password come from ISC_USER and ISC_PASSWORD (SYSDBA when unset); the
// character set is UTF8. close() always leaves the connection closed and ready for open().
#include "data/fb_api.h"
#include "data/transaction.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace talvix {

class Query;
struct PreparedStatement;

// What happened to the data this connection sees, for a cache over the database that must follow
// the connection's own work: a statement that is not a select ran (query holds its text and
// values), or uncommitted work was rolled back, or the attachment went away (query is null).
enum class DataEvent { Written, Discarded };
using DataObserver = std::function<void(DataEvent event, const Query* query)>;

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
  // Cancels the statement running on the attachment now (it fails with the server's "cancelled"
  // error); nothing when none runs. Callable from another thread while the owner's thread works,
  // as long as the owner does not close meanwhile.
  void cancelRunningStatement() noexcept;

  Transaction& defaultTransaction() { return transaction_; }
  Firebird::IAttachment* attachment();
  // Changes every time the attachment goes away, so prepared statements know they are stale.
  std::uint64_t generation() const { return generation_; }

  // Runs one statement without parameters or results in the default transaction.
  void executeImmediate(const std::string& sql);

  // The prepared form of an SQL text, shared by every query on this connection that runs it, so a
  // step that makes a fresh query per line still prepares its text once. Prepared lazily.
  std::shared_ptr<PreparedStatement> statementFor(const std::string& sql);

  // Observers live as long as the connection or until removed; they must not throw.
  int addDataObserver(DataObserver observer);
  void removeDataObserver(int id);
  void notify(DataEvent event, const Query* query) const;

 private:
  std::string databaseName_;
  fb::Handle<Firebird::IAttachment> attachment_;
  Transaction transaction_;
  std::uint64_t generation_ = 0;
  std::vector<std::pair<int, DataObserver>> observers_;
  std::unordered_map<std::string, std::shared_ptr<PreparedStatement>> statements_;
  int nextObserver_ = 1;
};

// Creates a new, empty database file (or server database) with page size 8192, UTF8 default
// character set, and the given statements executed in order, each committed.
void createDatabase(const std::string& databaseName, const std::string& statements);

// Turns the database's forced (synchronous) writes on or off; needs the owner or SYSDBA. Off makes
// a bulk fill many times faster, at the risk of the file if the machine fails meanwhile.
void setForcedWrites(const std::string& databaseName, bool on);

}  // namespace talvix
