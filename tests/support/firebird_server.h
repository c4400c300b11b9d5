#pragma once
// A private Firebird 3 server (Debian's /usr/sbin/firebird) for one test: its own configuration,
// security database, lock and temporary directories in a temporary directory, listening on a free
// loopback port. Databases are reached as connectionString(file) with the user and password that
// useCredentials() puts into ISC_USER/ISC_PASSWORD (inherited by child processes). stop() and
// start() again keep the port and the directory, so a test can take the server away and bring it
// back. The server dies with the test process at the latest.
//
// A database this server holds must never be opened by its file path from the same process: the
// embedded engine and the server cannot share a file.
#include "support/temp_dir.h"

#include <string>
#include <sys/types.h>

namespace talvix::test {

class FirebirdServer {
 public:
  static constexpr char kUser[] = "SYSDBA";
  static constexpr char kPassword[] = "talvix-srv";

  // Super: one process serves every attachment. Classic: one process per attachment.
  enum class Mode { Super, Classic };

  // Prepares the directory and the security database and starts the server; throws
  // std::runtime_error with the server's or isql's own output when that fails.
  explicit FirebirdServer(Mode mode = Mode::Super);
  FirebirdServer(const FirebirdServer&) = delete;
  FirebirdServer& operator=(const FirebirdServer&) = delete;
  ~FirebirdServer();  // stops a running server

  // Starts the server and returns once it accepts connections (at most startLimitSeconds).
  void start();
  // SIGTERM, then SIGKILL when it has not ended within stopLimitSeconds; no-op when stopped.
  void stop();
  // SIGKILL: the server vanishes without closing anything.
  void kill();
  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  int port() const { return port_; }
  // A path in the server's directory, for a database file.
  std::string file(const std::string& name) const { return dir_.file(name); }
  // "127.0.0.1/PORT:" + path.
  std::string connectionString(const std::string& path) const;
  // Sets ISC_USER and ISC_PASSWORD in this process's environment.
  static void useCredentials();

  static constexpr int kStartLimitSeconds = 30;
  static constexpr int kStopLimitSeconds = 15;

 private:
  void writeConfiguration() const;
  void createSecurityDatabase() const;
  std::string serverLog() const;

  TempDir dir_;
  Mode mode_;
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace talvix::test
