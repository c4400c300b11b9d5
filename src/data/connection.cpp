#include "data/connection.h"

#include "data/db_error.h"
#include "data/lock_folder.h"

#include <cstdlib>
#include <string_view>
#include <vector>

namespace talvix {
namespace {

// Firebird says only "Permission denied" when the embedded engine's lock folder refuses the user;
// the person needs to know which group, which command.
void checkAttached(fb::Status& status, const std::string& databaseName) {
  try {
    status.check();
  } catch (const DbError& error) {
    const std::string advice = opensEmbedded(databaseName) ? lockFolderAdvice() : std::string();
    if (advice.empty()) throw;
    throw DbError(std::string(error.what()) + "\n" + advice);
  }
}

constexpr const char* kDefaultUser = "SYSDBA";
constexpr const char* kCharacterSet = "UTF8";

std::string environmentOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value && *value ? std::string(value) : std::string(fallback ? fallback : "");
}

fb::Disposable<Firebird::IXpbBuilder> connectionParameters(fb::Status& status, bool forCreate, int forcedWrites = -1) {
  fb::Disposable<Firebird::IXpbBuilder> dpb(fb::util()->getXpbBuilder(&status, Firebird::IXpbBuilder::DPB, nullptr, 0));
  status.check();
  dpb->insertString(&status, isc_dpb_user_name, environmentOr("ISC_USER", kDefaultUser).c_str());
  const std::string password = environmentOr("ISC_PASSWORD", nullptr);
  if (!password.empty()) dpb->insertString(&status, isc_dpb_password, password.c_str());
  dpb->insertString(&status, isc_dpb_lc_ctype, kCharacterSet);
  if (forCreate) {
    dpb->insertInt(&status, isc_dpb_page_size, 8192);
    dpb->insertString(&status, isc_dpb_set_db_charset, kCharacterSet);
    dpb->insertInt(&status, isc_dpb_sql_dialect, 3);
  }
  if (forcedWrites >= 0) dpb->insertInt(&status, isc_dpb_force_write, forcedWrites);
  status.check();
  return dpb;
}

// Creates or attaches with the parameters, then detaches at once: for what the parameters do
// to the database (forcedWrites: -1 leaves the setting alone).
void attachAndDetach(const std::string& databaseName, bool create, int forcedWrites) {
  fb::Status status;
  auto dpb = connectionParameters(status, create, forcedWrites);
  const unsigned length = dpb->getBufferLength(&status);
  const unsigned char* buffer = dpb->getBuffer(&status);
  status.check();
  fb::Handle<Firebird::IProvider> provider(fb::master()->getDispatcher());
  fb::Handle<Firebird::IAttachment> attached(
      create ? provider->createDatabase(&status, databaseName.c_str(), length, buffer)
             : provider->attachDatabase(&status, databaseName.c_str(), length, buffer));
  checkAttached(status, databaseName);
  attached->detach(&status);
  if (!status.failed()) attached.release();  // detach() frees the interface on success
  status.check();
}

}  // namespace

Connection::Connection() : transaction_(*this) {}

Connection::~Connection() {
  try {
    close();
  } catch (...) {
    // A destructor has no one to report to; the handles are released by close() regardless.
  }
}

void Connection::open() {
  if (attachment_) return;
  fb::Status status;
  auto dpb = connectionParameters(status, false);
  const unsigned length = dpb->getBufferLength(&status);
  const unsigned char* buffer = dpb->getBuffer(&status);
  status.check();
  fb::Handle<Firebird::IProvider> provider(fb::master()->getDispatcher());
  Firebird::IAttachment* attached = provider->attachDatabase(&status, databaseName_.c_str(), length, buffer);
  checkAttached(status, databaseName_);
  attachment_.reset(attached);
  ++generation_;
}

int Connection::addDataObserver(DataObserver observer) {
  observers_.emplace_back(nextObserver_, std::move(observer));
  return nextObserver_++;
}

void Connection::removeDataObserver(int id) {
  std::erase_if(observers_, [id](const auto& entry) { return entry.first == id; });
}

void Connection::notify(DataEvent event, const Query* query) const {
  for (const auto& entry : observers_) entry.second(event, query);
}

void Connection::close() {
  if (!attachment_) return;
  ++generation_;
  statements_.clear();  // queries still holding one re-prepare after the next open
  notify(DataEvent::Discarded, nullptr);
  fb::Status status;
  if (transaction_.inTransaction()) {
    try {
      transaction_.deactivate();
    } catch (const DbError&) {
      // The server is gone or the transaction already died; detaching settles both.
    }
  }
  attachment_->detach(&status);
  if (!status.failed()) {
    attachment_.release();  // detach() frees the interface on success
    return;
  }
  const std::string text = status.take();
  attachment_.reset();
  throw DbError(text);
}

void Connection::cancelRunningStatement() noexcept {
  if (!attachment_) return;
  fb::Status status;
  attachment_->cancelOperation(&status, fb_cancel_raise);
  status.take();  // nothing running is no failure here
}

Firebird::IAttachment* Connection::attachment() {
  if (!attachment_) throw DbError("Database " + databaseName_ + " is not connected");
  return attachment_.get();
}

void Connection::executeImmediate(const std::string& sql) {
  fb::Status status;
  attachment()->execute(&status, transaction_.handle(), 0, sql.c_str(), SQL_DIALECT_V6, nullptr, nullptr, nullptr,
                        nullptr);
  status.check();
  notify(DataEvent::Discarded, nullptr);  // a statement we cannot see into: anything may have changed
}

namespace {

// Splits a script on semicolons that end a statement (outside strings and comments).
std::vector<std::string> splitStatements(std::string_view script) {
  std::vector<std::string> statements;
  std::string current;
  for (std::size_t i = 0; i < script.size(); ++i) {
    const char c = script[i];
    if (c == '\'' || c == '"') {
      const std::size_t end = script.find(c, i + 1);
      const std::size_t stop = end == std::string_view::npos ? script.size() : end + 1;
      current.append(script.substr(i, stop - i));
      i = stop - 1;
    } else if (c == '-' && i + 1 < script.size() && script[i + 1] == '-') {
      const std::size_t end = script.find('\n', i);
      i = end == std::string_view::npos ? script.size() : end;
      current.push_back('\n');
    } else if (c == '/' && i + 1 < script.size() && script[i + 1] == '*') {
      const std::size_t end = script.find("*/", i + 2);
      i = end == std::string_view::npos ? script.size() : end + 1;
    } else if (c == ';') {
      statements.push_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  statements.push_back(current);
  std::vector<std::string> nonEmpty;
  for (auto& s : statements)
    if (s.find_first_not_of(" \t\r\n") != std::string::npos) nonEmpty.push_back(std::move(s));
  return nonEmpty;
}

}  // namespace

void createDatabase(const std::string& databaseName, const std::string& statements) {
  attachAndDetach(databaseName, true, -1);
  Connection connection;
  connection.setDatabaseName(databaseName);
  connection.open();
  for (const std::string& statement : splitStatements(statements)) {
    try {
      connection.executeImmediate(statement);
      connection.defaultTransaction().commit();
    } catch (const DbError& error) {
      throw DbError(std::string(error.what()) + "\nin statement:\n" + statement);
    }
  }
  connection.close();
}

void setForcedWrites(const std::string& databaseName, bool on) { attachAndDetach(databaseName, false, on ? 1 : 0); }

}  // namespace talvix
