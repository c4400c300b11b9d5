#include "server_run_fixture.h"

#include "data/connection.h"
#include "data/query.h"
#include "registry/registry_store.h"
#include "step/run_settings.h"
#include "tools/demo/demo_history.h"

#include <cmath>
#include <csignal>
#include <filesystem>
#include <regex>
#include <sstream>

namespace talvix::test {
namespace {

constexpr char kDatabasesKey[] = "Software\\ORMANTA\\Talvix\\Bazes";
constexpr char kSettingsKey[] = "Software\\ORMANTA\\Talvix\\AutoIepCenSad";

// Small enough for a pass of a few seconds through the server, big enough to stop in the middle.
demo::HistoryShape demoShape() {
  demo::HistoryShape shape;
  shape.goods = 60;
  shape.departments = 3;
  shape.days = 40;
  shape.lines = 3000;
  shape.lastDay = makeDate(2026, 3, 31);
  shape.fifoMethod = 1;
  return shape;
}
// The history starts with a few blocked days; the period begins after them.
constexpr int kBlockedDays = 3;

const char* const kCostColumns[][2] = {
    {"O_PRCOUT", "IEP_CENA"}, {"O_PARPRC", "CENA"}, {"O_ATGPRC", "IEP_CENA"}, {"O_PRATL_PRC", "IEP_CENA"}};

constexpr char kIssueOrderSql[] =
    "SELECT O_PRCOUT.ISN, O_PAVOUT.DATUMS, O_PAVOUT.ISNODALA, O_PRCOUT.ISPRECE, O_PRCOUT.DAUDZUMS "
    "FROM O_PAVOUT, O_PRCOUT, N_KLPREC WHERE O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT AND "
    "O_PRCOUT.ISPRECE = N_KLPREC.ISN AND O_PAVOUT.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ "
    "ORDER BY O_PAVOUT.DATUMS, O_PAVOUT.ISNODALA, O_PRCOUT.ISPRECE, O_PRCOUT.DAUDZUMS DESCENDING, O_PRCOUT.ISN";

// Line table, its header and the header key column.
const char* const kLineHeaders[][3] = {{"O_PRCOUT", "O_PAVOUT", "ISPAVOUT"},
                                       {"O_PARPRC", "O_PARPAV", "ISPARVPAV"},
                                       {"O_ATGPRC", "O_ATGPAV", "ISATGPAV"},
                                       {"O_PRATL_PRC", "O_PRATL_PAV", "ISPRATLPAV"}};

std::string shown(const std::optional<double>& cost) {
  if (!cost) return "NULL";
  std::ostringstream text;
  text.precision(17);
  text << *cost;
  return text.str();
}

}  // namespace

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

std::optional<std::pair<int, int>> counter(const std::string& text) {
  static const std::regex pattern(R"((\d+)/(\d+))");
  std::smatch parts;
  if (!std::regex_match(text, parts, pattern)) return std::nullopt;
  return std::make_pair(std::stoi(parts[1].str()), std::stoi(parts[2].str()));
}

std::string countdownLine(int seconds) { return "Gaidu " + std::to_string(seconds) + " sekundes ..."; }

bool isPriced(const std::optional<double>& cost) { return cost && *cost != 0.0; }

ServerRunTest::ServerRunTest(FirebirdServer::Mode mode) : server(mode) { FirebirdServer::useCredentials(); }

DateTime ServerRunTest::lastDay() const { return demoShape().lastDay; }
DateTime ServerRunTest::firstDay() const { return lastDay() - demoShape().days + 1 + kBlockedDays; }

std::string ServerRunTest::makeDemo(const std::string& fileName) { return makeDemo(fileName, demoShape()); }

std::string ServerRunTest::makeDemo(const std::string& fileName, const demo::HistoryShape& shape) {
  const std::string connection = server.connectionString(server.file(fileName));
  demo::makeDemoDatabase(connection, shape);
  return connection;
}

std::string ServerRunTest::copyDatabase(const std::string& fromFile, const std::string& toFile) {
  std::filesystem::copy_file(server.file(fromFile), server.file(toFile));
  return server.connectionString(server.file(toFile));
}

std::string ServerRunTest::registryFor(const std::string& connection, int mode) {
  return registryFor(connection, mode, firstDay(), lastDay());
}

std::string ServerRunTest::registryFor(const std::string& connection, int mode, DateTime first, DateTime last) {
  const std::string path = server.file("registry-" + std::to_string(std::hash<std::string>{}(connection)) + "-" +
                                       std::to_string(mode) + ".reg");
  RegFileStore registry(path);
  registry.openForWrite(kDatabasesKey)->writeString("Noliktava", connection);
  const auto settings = registry.openForWrite(kSettingsKey);
  settings->writeDateTime("DatumsNo", first);
  settings->writeDateTime("DatumsLidz", last);
  for (const char* name : {"PedejaCena", "ParvIzrakst1PardCena", "PakalpojumusNe", "IMEI"})
    settings->writeInteger(name, 0);
  for (const char* name : {"ParvietosanaChk", "IzrakstisanaChk", "AtgriesanaChk", "AtlikumiChk"})
    settings->writeInteger(name, mode);
  return path;
}

Costs ServerRunTest::costs(const std::string& connection) {
  Connection db;
  db.setDatabaseName(connection);
  db.open();
  Costs result;
  for (const auto& [table, column] : kCostColumns) {
    Query q(db);
    q.setSql(std::string("SELECT ISN, ") + column + " FROM " + table);
    q.open();
    for (q.first(); !q.eof(); q.next())
      result[{table, q.asInteger(0)}] = q.isNull(1) ? std::nullopt : std::optional<double>(q.asDouble(1));
  }
  db.close();
  return result;
}

std::vector<ServerRunTest::IssueOrder> ServerRunTest::issuesInRunOrder(const std::string& connection) {
  Connection db;
  db.setDatabaseName(connection);
  db.open();
  Query q(db);
  q.setSql(kIssueOrderSql);
  q.setDateTime("DAT_NO", firstDay());
  q.setDateTime("DAT_LIDZ", lastDay());
  q.open();
  std::vector<IssueOrder> order;
  for (q.first(); !q.eof(); q.next())
    order.push_back({q.asInteger(0), std::to_string(q.asDateTime(1)) + "|" + std::to_string(q.asInteger(2)) + "|" +
                                         std::to_string(q.asInteger(3)) + "|" + shown(q.asDouble(4))});
  db.close();
  return order;
}

std::map<CostKey, int> ServerRunTest::lineDays(const std::string& connection) {
  Connection db;
  db.setDatabaseName(connection);
  db.open();
  std::map<CostKey, int> days;
  for (const auto& [lines, header, headerKey] : kLineHeaders) {
    Query q(db);
    q.setSql(std::string("SELECT L.ISN, H.DATUMS FROM ") + lines + " L JOIN " + header + " H ON H.ISN = L." +
             headerKey + " WHERE H.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ");
    q.setDateTime("DAT_NO", firstDay());
    q.setDateTime("DAT_LIDZ", lastDay());
    q.open();
    for (q.first(); !q.eof(); q.next()) days[{lines, q.asInteger(0)}] = static_cast<int>(std::floor(q.asDateTime(1)));
  }
  db.close();
  return days;
}

void ServerRunTest::runToEnd(const std::string& registryPath, const std::vector<std::string>& arguments,
                             std::chrono::seconds limit) {
  HostRun run(registryPath, arguments);
  const std::optional<int> status = run.waitExit(limit);
  ASSERT_TRUE(status) << "still running after " << limit.count() << " s\n" << printable(run.texts());
  ASSERT_EQ(*status, 0) << run.errors() << printable(run.texts());
  ASSERT_TRUE(run.errors().find("Kļūda") == std::string::npos) << run.errors();
  for (const std::string& text : run.texts()) ASSERT_FALSE(startsWith(text, kPassFailed)) << text;
}

void ServerRunTest::recoverTwoPassesAndStop(HostRun& run, std::size_t failed) {
  using namespace std::chrono_literals;
  const auto reconnected = run.waitForText(kReconnected, 120s, failed);
  ASSERT_TRUE(reconnected) << printable(run.texts());
  const auto firstPass = run.waitForText(kPassDone, 300s, *reconnected);
  ASSERT_TRUE(firstPass) << printable(run.texts());
  const auto secondPass = run.waitForText(kPassDone, 300s, *firstPass + 1);
  ASSERT_TRUE(secondPass) << printable(run.texts());
  run.signal(SIGTERM);
  const auto status = run.waitExit(60s);
  ASSERT_TRUE(status) << "did not stop on SIGTERM\n" << printable(run.texts());
  EXPECT_EQ(*status, 0) << run.errors();
}

::testing::AssertionResult sameCosts(const Costs& actual, const Costs& expected) {
  std::ostringstream differences;
  int count = 0;
  for (const auto& [key, cost] : expected) {
    const auto found = actual.find(key);
    const std::optional<double> got = found == actual.end() ? std::nullopt : found->second;
    if (found != actual.end() && got == cost) continue;
    if (++count <= 10)
      differences << "  " << key.first << " " << key.second << ": " << shown(got) << " instead of " << shown(cost)
                  << "\n";
  }
  if (actual.size() != expected.size())
    differences << "  " << actual.size() << " lines instead of " << expected.size() << "\n";
  if (count == 0 && actual.size() == expected.size()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << count << " lines differ:\n" << differences.str();
}

}  // namespace talvix::test
