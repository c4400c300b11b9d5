// autoiepcensad-run as systemd runs it: a notification socket the test holds, the watchdog's
// interval, the journal's stream. What the service manager hears (READY, STATUS lines that follow a
// pass, a rest and a reconnect, watchdog pings) and the priority of each journal line; the settings
// given on the command line and printed by --show-settings; a continuous run that would price
// nothing refused.
#include "registry/registry_store.h"
#include "support/host_run.h"
#include "support/notify_socket.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace talvix::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kWatchdog = 2s;

bool startsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

std::function<bool(const std::string&)> statusStarting(const std::string& start) {
  return [start](const std::string& message) {
    const auto status = statusOf(message);
    return status && startsWith(*status, start);
  };
}

std::string all(const NotifySocket& socket) {
  std::string text;
  for (const Notification& message : socket.messages()) text += message.text + "\n--\n";
  return text;
}

class ServiceTest : public ::testing::Test {
 protected:
  ServiceTest() : registryPath(db.dir().file("registry.reg")), socket(db.dir().file("notify")) {
    db.setFifo(1);
    listDatabaseOnly();
  }

  // The database, and no settings yet.
  void listDatabaseOnly() {
    std::ofstream(registryPath) << "Windows Registry Editor Version 5.00\n\n"
                                   "[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\Bazes]\n"
                                   "\"Demo\"=\"" << db.path() << "\"\n";
  }

  // Under the service manager: notified through the test's socket, a watchdog asked for, standard
  // output on the journal.
  std::unique_ptr<HostRun> serviceRun(const std::vector<std::string>& arguments) {
    db.connection().close();
    const auto usec = std::chrono::duration_cast<std::chrono::microseconds>(kWatchdog).count();
    return std::make_unique<HostRun>(
        registryPath, arguments,
        HostOptions{.environment = {{"NOTIFY_SOCKET", socket.path()}, {"WATCHDOG_USEC", std::to_string(usec)}},
                    .journal = true});
  }

  // Pings come while the run rests or counts down: more than one, none further apart than asked.
  void expectWatchdogPings(std::size_t from) {
    std::vector<Clock::time_point> pings;
    const auto messages = socket.messages();
    for (std::size_t i = from; i < messages.size(); ++i)
      if (messages[i].text == "WATCHDOG=1") pings.push_back(messages[i].seen);
    ASSERT_GE(pings.size(), 2u) << all(socket);
    for (std::size_t i = 1; i < pings.size(); ++i) EXPECT_LT(pings[i] - pings[i - 1], kWatchdog) << all(socket);
  }

  // --show-settings' rows by name.
  std::map<std::string, std::string> shownSettings(const std::vector<std::string>& arguments, int& exit) {
    db.connection().close();
    std::vector<std::string> given = arguments;
    given.push_back("--show-settings");
    HostRun host(registryPath, given, {.verbose = false});
    exit = host.finish(60s);
    std::map<std::string, std::string> rows;
    std::istringstream lines(host.output());
    for (std::string line; std::getline(lines, line);) {
      const std::size_t gap = line.find(' ');
      const std::size_t value = line.find_first_not_of(' ', gap);
      if (gap != std::string::npos && value != std::string::npos) rows[line.substr(0, gap)] = line.substr(value);
    }
    return rows;
  }

  TestDatabase db;
  std::string registryPath;
  NotifySocket socket;
};

TEST_F(ServiceTest, ReadyThenAStatusThatFollowsThePassAndTheRestWithTheWatchdogPinged) {
  const int goods = db.goods();
  db.receipt({.date = todayLocal(), .goods = goods, .qty = 5, .price = 2.5});
  db.issue({.date = todayLocal(), .goods = goods, .qty = 2});
  const auto host = serviceRun({"--issues", "1"});

  const auto ready = socket.waitFor([](const std::string& m) { return startsWith(m, "READY=1\n"); }, 60s);
  ASSERT_TRUE(ready) << all(socket) << host->errors();
  const auto started = socket.waitFor(statusStarting("Pricing: pass 1 started "), 60s, *ready);
  ASSERT_TRUE(started) << all(socket);
  const auto ended = socket.waitFor(statusStarting("Pass 1 ended "), 60s, *started);
  ASSERT_TRUE(ended) << all(socket);
  EXPECT_NE(statusOf(socket.messages()[*ended].text)->find(", 1 line priced"), std::string::npos) << all(socket);
  // The next pass finds nothing to price and the run rests, saying so and what the last pass did.
  const auto rest =
      socket.waitFor(statusStarting("Resting until the database changes, at most "), 60s, *ended);
  ASSERT_TRUE(rest) << all(socket);
  EXPECT_NE(statusOf(socket.messages()[*rest].text)->find("; last pass ended "), std::string::npos);
  std::this_thread::sleep_for(3 * kWatchdog);
  expectWatchdogPings(*ready);

  host->signal(SIGTERM);
  EXPECT_EQ(host->finish(60s), 0) << host->errors();
  EXPECT_TRUE(startsWith(socket.messages().back().text, "STOPPING=1\nSTATUS=Ended")) << all(socket);
  for (const LogEntry& entry : host->log()) EXPECT_EQ(entry.priority, 6) << entry.text;
}

TEST_F(ServiceTest, AFailedPassIsAnErrorInTheJournalAndTheStatusCountsDownToTheReconnect) {
  db.exec("DROP TABLE O_PRATL_PRC");  // every pass fails on it, the database stays open
  const auto host = serviceRun({"--issues", "1"});

  const auto failed = socket.waitFor(statusStarting("Pass 1 failed: "), 60s);
  ASSERT_TRUE(failed) << all(socket) << host->errors();
  const auto countdown = socket.waitFor(statusStarting("Reconnecting in 30 s; the pass failed: "), 10s, *failed);
  ASSERT_TRUE(countdown) << all(socket);
  ASSERT_TRUE(socket.waitFor(statusStarting("Reconnecting in 27 s"), 10s, *countdown)) << all(socket);
  expectWatchdogPings(*countdown);
  host->signal(SIGTERM);
  EXPECT_EQ(host->finish(60s), 0) << host->errors();

  std::map<std::string, int> priorities;
  for (const LogEntry& entry : host->log()) priorities[entry.text.substr(0, entry.text.find(" : "))] = entry.priority;
  EXPECT_EQ(priorities["Sāku FIFO ..."], 6);
  EXPECT_EQ(priorities["Kļūda FIFO piešķiršanā"], 3);
  EXPECT_EQ(priorities["Process sākas no sākuma ..."], 4);
}

TEST_F(ServiceTest, SettingsGivenOnTheCommandLineAreSavedAsTheWindowSavesThemAndShown) {
  struct Row {
    std::vector<std::string> arguments;
    std::string shown, value, registryValue;
    int stored;
  };
  const Row rows[] = {
      {{"--transfers", "1"}, "transfers", "1 Piešķirt tikai ar 0 pašizmaksu", "ParvietosanaChk", 1},
      {{"--issues", "all-anew"}, "issues", "2 Piešķirt visiem no jauna", "IzrakstisanaChk", 2},
      {{"--returns", "without-cost"}, "returns", "1 Piešķirt tikai ar 0 pašizmaksu", "AtgriesanaChk", 1},
      {{"--balances", "2"}, "balances", "2 Piešķirt visiem no jauna", "AtlikumiChk", 2},
      {{"--skip-services", "on"}, "skip-services", "on", "PakalpojumusNe", 1},
      {{"--serial-numbers", "on"}, "serial-numbers", "on", "IMEI", 1},
      {{"--last-price", "on"}, "last-price", "on", "PedejaCena", 1},
      {{"--first-sale-price", "on"}, "first-sale-price", "on", "ParvIzrakst1PardCena", 1},
      {{"--period", "2026-02-01..2026-02-28"}, "period", "2026-02-01..2026-02-28", "PedejaCena", 0},
  };
  int exit = -1;
  const auto defaults = shownSettings({}, exit);
  ASSERT_EQ(exit, 0);
  EXPECT_EQ(defaults.at("method"), "FIFO");
  EXPECT_EQ(defaults.at("issues"), "0 Nepiešķirt");
  EXPECT_EQ(defaults.at("last-price"), "off");
  for (const Row& row : rows) {
    listDatabaseOnly();
    auto shown = shownSettings(row.arguments, exit);
    ASSERT_EQ(exit, 0) << row.shown;
    EXPECT_EQ(shown.at(row.shown), row.value);
    for (const auto& [name, value] : defaults) {
      if (name == row.shown) continue;
      EXPECT_EQ(shown.at(name), value) << row.shown << ": " << name;
    }
    EXPECT_EQ(RegFileStore(registryPath).openForRead("Software\\ORMANTA\\Talvix\\AutoIepCenSad")->readInteger(
                  row.registryValue),
              row.stored)
        << row.shown;
    EXPECT_EQ(shownSettings({}, exit), shown) << row.shown << ": not kept";
  }
}

TEST_F(ServiceTest, AContinuousRunWithEveryKindOnNepieskirtSaysSoAndExitsTwo) {
  struct Row {
    std::vector<std::string> arguments;
    int exit;
  };
  const Row rows[] = {{{}, 2}, {{"--passes", "1"}, 0}, {{"--balances", "1", "--passes", "1"}, 0}};
  for (const Row& row : rows) {
    db.connection().close();
    HostRun host(registryPath, row.arguments, {.verbose = false});
    EXPECT_EQ(host.finish(60s), row.exit) << host.errors();
    EXPECT_EQ(host.errors().find("every document kind is on \"Nepiešķirt\"") != std::string::npos, row.exit == 2)
        << host.errors();
  }
}

}  // namespace
}  // namespace talvix::test
