#pragma once
// A test against a real Firebird server: a private server, demo stock databases made on it (the
// same history every time, so one can be priced without a fault as the reference for another),
// registry files that make autoiepcensad-run open a database with given modes, and the cost of
// every document line read back through the server.
#include "data/date_time.h"
#include "support/firebird_server.h"
#include "support/host_run.h"
#include "tools/demo/demo_history.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace talvix::test {

// Table and ISN of a document line → its cost column (NULL as nullopt).
using CostKey = std::pair<std::string, int>;
using Costs = std::map<CostKey, std::optional<double>>;

inline constexpr char kPassFailed[] = "Kļūda FIFO piešķiršanā : ";
inline constexpr char kStartingOver[] = "Process sākas no sākuma ...";
inline constexpr char kReconnecting[] = "Pieslēdzās datu bāzei par jaunu...";
inline constexpr char kReconnected[] = "Pieslēgšanās veiksmīga";
inline constexpr char kCannotOpen[] = "Nevaru atvērt datu bāzi !!!";
inline constexpr char kPassDone[] = "FIFO piešķiršana pabeigta ";
inline constexpr char kIssuesHeading[] = "Aprēķinu izrakstīšanu ...";
inline constexpr char kProcessDone[] = "Process pabeigts";
inline constexpr char kStopped[] = "Process apturēts";

inline constexpr char kIssueTable[] = "O_PRCOUT";

bool startsWith(const std::string& text, const std::string& prefix);
// "k/N" of a row counter; nullopt for any other text.
std::optional<std::pair<int, int>> counter(const std::string& text);
// "Gaidu " n " sekundes ...".
std::string countdownLine(int seconds);

class ServerRunTest : public ::testing::Test {
 protected:
  explicit ServerRunTest(FirebirdServer::Mode mode = FirebirdServer::Mode::Super);

  // A demo database of about 2 800 lines on the server (or of the shape given); its connection string.
  std::string makeDemo(const std::string& fileName);
  std::string makeDemo(const std::string& fileName, const demo::HistoryShape& shape);
  // A copy of a database file that no one is attached to; the copy's connection string.
  std::string copyDatabase(const std::string& fromFile, const std::string& toFile);
  // A registry file listing the database as the one to open, the period of the demo history (or
  // the one given) and every document kind in `mode`; its path.
  std::string registryFor(const std::string& connection, int mode);
  std::string registryFor(const std::string& connection, int mode, DateTime first, DateTime last);

  Costs costs(const std::string& connection);
  // Issue lines of the period in the order the issue step takes them, with the columns it sorts by.
  struct IssueOrder {
    int isn;
    std::string sortKey;
  };
  std::vector<IssueOrder> issuesInRunOrder(const std::string& connection);
  // The whole day of every document line of the period.
  std::map<CostKey, int> lineDays(const std::string& connection);

  // Runs autoiepcensad-run to its end (at most limit) and expects exit status 0.
  void runToEnd(const std::string& registryPath, const std::vector<std::string>& arguments, std::chrono::seconds limit);

  // After a pass failed at the log's entry `failed`: the run reconnects, ends two passes and, on
  // SIGTERM, stops with status 0.
  void recoverTwoPassesAndStop(HostRun& run, std::size_t failed);

  DateTime firstDay() const;
  DateTime lastDay() const;

  FirebirdServer server;
};

// Every line of `actual` has the cost it has in `expected`; names the first differences.
::testing::AssertionResult sameCosts(const Costs& actual, const Costs& expected);
bool isPriced(const std::optional<double>& cost);

}  // namespace talvix::test
