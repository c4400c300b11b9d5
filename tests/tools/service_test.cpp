// autoiepcensad-run as systemd runs it: a notification socket the test holds, the watchdog's
// interval and the journal's stream given as systemd gives them. What the service manager hears
// and the journal's priorities; the settings given on the command line and --show-settings; a
// continuous run that would price nothing refused.
#include "registry/registry_store.h"
#include "run/nothing_to_price.h"
#include "support/host_run.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace talvix::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kWatchdog = 2s;

struct Notification {
  std::string text;  // newline-separated assignments, as sent
  Clock::time_point seen;
};

// The service manager's end of the notification protocol: a datagram socket the host is told of
// through NOTIFY_SOCKET, every message kept with the time it came.
class NotifySocket {
 public:
  explicit NotifySocket(const std::string& path) : path_(path) {
    sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
      throw std::runtime_error("bind " + path + ": " + std::strerror(errno));
    reader_ = std::thread([this] {
      for (char buffer[4096]; !ending_;) {
        pollfd ready{fd_, POLLIN, 0};
        const ssize_t got = poll(&ready, 1, 50) > 0 ? recv(fd_, buffer, sizeof buffer, 0) : 0;
        const std::lock_guard lock(mutex_);
        if (got > 0) messages_.push_back({std::string(buffer, static_cast<std::size_t>(got)), Clock::now()});
      }
    });
  }
  ~NotifySocket() {
    ending_ = true;
    reader_.join();
    close(fd_);
  }
  const std::string& path() const { return path_; }
  std::vector<Notification> messages() const {
    const std::lock_guard lock(mutex_);
    return messages_;
  }
  // Index of the first message from `from` on that matches; nullopt when the limit passes first.
  std::optional<std::size_t> waitFor(const std::function<bool(const std::string&)>& match,
                                     std::chrono::seconds limit, std::size_t from = 0) const {
    for (const auto deadline = Clock::now() + limit; Clock::now() < deadline; std::this_thread::sleep_for(20ms)) {
      const auto seen = messages();
      for (std::size_t i = from; i < seen.size(); ++i)
        if (match(seen[i].text)) return i;
    }
    return std::nullopt;
  }

 private:
  std::string path_;
  int fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  std::atomic<bool> ending_{false};
  mutable std::mutex mutex_;
  std::vector<Notification> messages_;
  std::thread reader_;
};

std::optional<std::string> statusOf(const std::string& message) {
  const std::size_t at = message.rfind("STATUS=", 0) == 0 ? 0 : message.find("\nSTATUS=");
  if (at == std::string::npos) return std::nullopt;
  const std::size_t start = message.find('=', at) + 1;
  return message.substr(start, message.find('\n', start) - start);
}

std::function<bool(const std::string&)> statusStarting(const std::string& start) {
  return [start](const std::string& message) { return statusOf(message).value_or("").rfind(start, 0) == 0; };
}

class ServiceTest : public ::testing::Test {
 protected:
  ServiceTest() : registryPath(db.dir().file("registry.reg")), socket(db.dir().file("notify")) {
    db.setFifo(1);
    listDatabaseOnly();
  }

  void listDatabaseOnly() {
    std::ofstream(registryPath) << "Windows Registry Editor Version 5.00\n\n"
                                   "[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\Bazes]\n"
                                   "\"Demo\"=\"" << db.path() << "\"\n";
  }

  std::unique_ptr<HostRun> serviceRun(const std::vector<std::string>& arguments) {
    db.connection().close();
    const auto usec = std::chrono::duration_cast<std::chrono::microseconds>(kWatchdog).count();
    return std::make_unique<HostRun>(
        registryPath, arguments,
        HostOptions{.environment = {{"NOTIFY_SOCKET", socket.path()}, {"WATCHDOG_USEC", std::to_string(usec)}},
                    .journal = true});
  }

  std::string heard() const {
    std::string text;
    for (const Notification& message : socket.messages()) text += message.text + "\n--\n";
    return text;
  }

  // While the run rests or counts down: pings, none further apart than the interval asked.
  void expectWatchdogPings(std::size_t from) {
    std::vector<Clock::time_point> pings;
    const auto messages = socket.messages();
    for (std::size_t i = from; i < messages.size(); ++i)
      if (messages[i].text == "WATCHDOG=1") pings.push_back(messages[i].seen);
    ASSERT_GE(pings.size(), 2u) << heard();
    for (std::size_t i = 1; i < pings.size(); ++i) EXPECT_LT(pings[i] - pings[i - 1], kWatchdog) << heard();
  }

  std::map<std::string, std::string> shownSettings(std::vector<std::string> arguments) {
    db.connection().close();
    arguments.push_back("--show-settings");
    HostRun host(registryPath, arguments, {.verbose = false});
    EXPECT_EQ(host.finish(60s), 0) << host.errors();
    std::map<std::string, std::string> rows;
    std::istringstream lines(host.output());
    for (std::string name, value; lines >> name && std::getline(lines >> std::ws, value);) rows[name] = value;
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

  const auto ready = socket.waitFor([](const std::string& m) { return m.rfind("READY=1\n", 0) == 0; }, 60s);
  ASSERT_TRUE(ready) << heard() << host->errors();
  const auto started = socket.waitFor(statusStarting("Pricing: pass 1 started "), 60s, *ready);
  const auto ended = socket.waitFor(statusStarting("Pass 1 ended "), 60s, started.value_or(0));
  ASSERT_TRUE(started && ended) << heard();
  EXPECT_NE(statusOf(socket.messages()[*ended].text)->find(", 1 line priced"), std::string::npos) << heard();
  // The next pass prices nothing, and the rest says what the last pass did.
  const auto rest = socket.waitFor(statusStarting("Resting until the database changes, at most "), 60s, *ended);
  ASSERT_TRUE(rest) << heard();
  EXPECT_NE(statusOf(socket.messages()[*rest].text)->find("; last pass ended "), std::string::npos);
  std::this_thread::sleep_for(3 * kWatchdog);
  expectWatchdogPings(*ready);

  host->signal(SIGTERM);
  EXPECT_EQ(host->finish(60s), 0) << host->errors();
  EXPECT_EQ(socket.messages().back().text.rfind("STOPPING=1\nSTATUS=Ended", 0), 0u) << heard();
  for (const LogEntry& entry : host->log()) EXPECT_EQ(entry.priority, 6) << entry.text;
}

TEST_F(ServiceTest, AFailedPassIsAnErrorInTheJournalAndTheStatusCountsDownToTheReconnect) {
  db.exec("DROP TABLE O_PRATL_PRC");  // every pass fails on it; the database opens
  const auto host = serviceRun({"--issues", "1"});

  const auto failed = socket.waitFor(statusStarting("Pass 1 failed: "), 60s);
  const auto countdown =
      socket.waitFor(statusStarting("Reconnecting in 30 s; the pass failed: "), 10s, failed.value_or(0));
  ASSERT_TRUE(failed && countdown) << heard() << host->errors();
  ASSERT_TRUE(socket.waitFor(statusStarting("Reconnecting in 27 s"), 10s, *countdown)) << heard();
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
  const auto defaults = shownSettings({});
  ASSERT_EQ(defaults.size(), 12u);
  EXPECT_EQ(defaults.at("database"), "Demo") << "the database is named";
  EXPECT_EQ(defaults.at("database-path"), db.path());
  EXPECT_EQ(defaults.at("method"), "FIFO");
  EXPECT_EQ(defaults.at("issues"), "0 Nepiešķirt");
  EXPECT_EQ(defaults.at("last-price"), "off");
  for (const Row& row : rows) {
    listDatabaseOnly();
    auto expected = defaults;
    expected[row.shown] = row.value;
    EXPECT_EQ(shownSettings(row.arguments), expected) << row.shown;
    const auto key = RegFileStore(registryPath).openForRead("Software\\ORMANTA\\Talvix\\AutoIepCenSad");
    ASSERT_NE(key, nullptr) << row.shown;
    EXPECT_EQ(key->readInteger(row.registryValue), row.stored) << row.shown;
    EXPECT_EQ(shownSettings({}), expected) << row.shown << ": not kept";
  }
}

TEST_F(ServiceTest, AContinuousRunWithEveryKindOnNepieskirtSaysSoAndExitsTwo) {
  const std::pair<std::vector<std::string>, int> rows[] = {
      {{}, 2}, {{"--passes", "1"}, 0}, {{"--balances", "1", "--passes", "1"}, 0}};
  for (const auto& [arguments, exit] : rows) {
    db.connection().close();
    HostRun host(registryPath, arguments, {.verbose = false});
    EXPECT_EQ(host.finish(60s), exit) << host.errors();
    EXPECT_EQ(host.errors().find(kNothingToPrice) != std::string::npos, exit == 2) << host.errors();
  }
}

}  // namespace
}  // namespace talvix::test
