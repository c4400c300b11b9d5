// live_latency: how soon a continuous FIFO run through a Firebird server prices a sale that another
// program has just committed, and what the run costs while there is nothing to price, in each of a
// shop's conditions (support/shop_conditions.h). For each: starts a private server on loopback (in
// Classic mode where the condition says), copies the demo history into it (made once in --dir and
// kept there), grants the plain user or opens the clerk's document where the condition says,
// optionally times one pass of autoiepcensad-run over the last month, then runs it without a pass
// limit, commits sales --gap-seconds apart from a second attachment, times each from its commit to
// its cost, and reads the CPU time the host and every server process take in --idle-seconds of
// rest. Prints one row per condition.
//   live_latency --dir DIR [--conditions LIST] [--master FILE] [--years N] [--sales N]
//                [--gap-seconds N] [--idle-seconds N] [--host PATH] [--single-pass]
#include "bench/live/live_shop.h"
#include "data/connection.h"
#include "data/document_tables.h"
#include "data/query.h"
#include "shell/settings_store.h"
#include "support/firebird_server.h"
#include "support/host_registry.h"
#include "support/host_run.h"
#include "support/shop_conditions.h"
#include "tools/demo/demo_history.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace talvix;
using talvix::bench::Clock;
using namespace talvix::bench;
using talvix::test::asPlainUser;
using talvix::test::clerkOpen;
using talvix::test::Condition;
using talvix::test::conditionName;
using talvix::test::conditionNamed;
using talvix::test::conditionText;
using talvix::test::FirebirdServer;
using talvix::test::grantPlainUser;
using talvix::test::hostCredentials;
using talvix::test::HostRun;
using talvix::test::kAllConditions;
using talvix::test::serverMode;

namespace {

constexpr char kProgram[] = "live_latency";
constexpr char kUsage[] =
    "usage: live_latency --dir DIR [--conditions LIST] [--master FILE] [--years N] [--sales N]\n"
    "                    [--gap-seconds N] [--idle-seconds N] [--host PATH] [--single-pass]\n"
    "  LIST: conditions separated by commas, of sysdba, clerk, plain, classic, plain-classic (all)\n";
constexpr char kPassDone[] = "FIFO piešķiršana pabeigta ";
// A pass end with no pass start this long after it: the run rests.
constexpr auto kRestSign = std::chrono::seconds(3);
constexpr char kFailurePrefix[] = "Kļūda";
constexpr auto kPollInterval = std::chrono::milliseconds(20);
constexpr auto kSinglePassLimit = std::chrono::hours(2);
constexpr auto kStopLimit = std::chrono::seconds(120);

struct Options {
  std::string dir;
  std::string master;  // "": DIR/live-<years>y-master.fdb, made when missing
  std::string host = TALVIX_HOST_PROGRAM;
  int years = 10;
  int sales = 5;
  int gapSeconds = 5;
  int idleSeconds = 30;
  bool singlePass = false;
  std::vector<Condition> conditions{std::begin(kAllConditions), std::end(kAllConditions)};
};

std::vector<Condition> conditionList(const std::string& text) {
  std::vector<Condition> list;
  std::istringstream in(text);
  for (std::string name; std::getline(in, name, ',');) {
    const std::optional<Condition> condition = conditionNamed(name);
    if (!condition) throw std::invalid_argument("--conditions: unknown condition \"" + name + "\"");
    list.push_back(*condition);
  }
  if (list.empty()) throw std::invalid_argument("--conditions names no condition");
  return list;
}

int positive(const std::string& option, const char* text) {
  std::size_t used = 0;
  int value = 0;
  try {
    value = std::stoi(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || text[used] != '\0' || value < 1)
    throw std::invalid_argument(option + " wants a whole number of 1 or more, not \"" + text + "\"");
  return value;
}

Options parseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help") throw std::invalid_argument("");
    if (arg == "--single-pass") {
      o.singlePass = true;
      continue;
    }
    if (i + 1 >= argc) throw std::invalid_argument("unknown option or missing value: " + arg);
    const char* value = argv[++i];
    if (arg == "--dir")
      o.dir = value;
    else if (arg == "--master")
      o.master = value;
    else if (arg == "--host")
      o.host = value;
    else if (arg == "--years")
      o.years = positive(arg, value);
    else if (arg == "--sales")
      o.sales = positive(arg, value);
    else if (arg == "--gap-seconds")
      o.gapSeconds = positive(arg, value);
    else if (arg == "--idle-seconds")
      o.idleSeconds = positive(arg, value);
    else if (arg == "--conditions")
      o.conditions = conditionList(value);
    else
      throw std::invalid_argument("unknown option: " + arg);
  }
  if (o.dir.empty()) throw std::invalid_argument("--dir is required");
  return o;
}

// The shape run_bench gives its longer histories: per year about 250,000 lines of a shop with 2,000
// goods in 8 departments, ending on the same day; a master either program made serves both.
demo::HistoryShape historyShape(int years) {
  demo::HistoryShape shape;
  shape.goods = 2000;
  shape.departments = 8;
  shape.days = 365 * years;
  shape.lines = 270000L * years;  // some drawn lines find no stock; this lands near 250,000 a year
  shape.lastDay = makeDate(2026, 12, 31);
  return shape;
}

// The master named, or the one in DIR, made there when missing (under a temporary name until
// whole, so an interrupted make is never taken for a master).
std::string ensureMaster(const Options& o) {
  if (!o.master.empty()) {
    if (!fs::is_regular_file(o.master)) throw std::runtime_error("--master " + o.master + ": no such file");
    return o.master;
  }
  const std::string path = o.dir + "/live-" + std::to_string(o.years) + "y-master.fdb";
  if (fs::exists(path)) return path;
  const std::string part = path + ".part";
  fs::remove(part);
  std::printf("Making %s (%d years of history; about %d s) ...\n", path.c_str(), o.years, 7 * o.years);
  std::fflush(stdout);
  const auto start = Clock::now();
  const demo::HistoryShape shape = historyShape(o.years);
  const demo::HistoryCounts made = demo::makeDemoDatabase(part, shape);
  {
    // The demo's blocked days lie in its first days; the host would refuse a period holding them.
    Connection c;
    c.setDatabaseName(part);
    c.open();
    c.executeImmediate("DELETE FROM N_BLOKDIENAS");
    c.defaultTransaction().commit();
    c.close();
  }
  fs::rename(part, path);
  std::printf("Made %s: %ld lines, %d goods, %d departments, %d days in %.0f s\n", path.c_str(), made.total(),
              shape.goods, shape.departments, shape.days, secondsSince(start));
  return path;
}

std::string lastEntries(const HostRun& run) {
  return "standard error:\n" + run.errors() + "progress log (last entries):\n" +
         talvix::test::printable(run.texts(), 20);
}

// A pass that failed shows up in the log, also when the run recovers and goes on.
void requireNoFailure(const HostRun& run, const std::string& what) {
  for (const std::string& text : run.texts())
    if (text.rfind(kFailurePrefix, 0) == 0)
      throw std::runtime_error(what + ": a pass failed: " + text + "\n" + lastEntries(run));
}

// One host run to its end; its seconds from start to exit.
double singlePass(const std::string& registry, const talvix::test::HostOptions& host) {
  const auto start = Clock::now();
  HostRun run(registry, {"--passes", "1"}, host);
  const std::optional<int> status = run.waitExit(std::chrono::duration_cast<std::chrono::seconds>(kSinglePassLimit));
  const double seconds = secondsSince(start);
  if (!status) throw std::runtime_error("autoiepcensad-run --passes 1 still runs after 2 hours\n" + lastEntries(run));
  if (*status != 0)
    throw std::runtime_error("autoiepcensad-run --passes 1 exited " + std::to_string(*status) + "\n" +
                             lastEntries(run));
  requireNoFailure(run, "autoiepcensad-run --passes 1");
  return seconds;
}

// Commits the sales gap apart and polls each until its cost is above zero (at most limit after its
// commit), while the host keeps running.
void timeSales(std::vector<Sale>& sales, SaleWriter& writer, HostRun& host, std::chrono::seconds gap,
               std::chrono::seconds limit) {
  std::size_t committed = 0, priced = 0;
  auto nextCommit = Clock::now();
  while (priced < sales.size()) {
    if (committed < sales.size() && Clock::now() >= nextCommit) {
      writer.commit(sales[committed]);
      std::printf("  sale %zu committed: goods %d, department %d, line %d\n", committed + 1, sales[committed].goods,
                  sales[committed].dept, sales[committed].line);
      std::fflush(stdout);
      ++committed;
      nextCommit += gap;
    }
    for (std::size_t i = 0; i < committed; ++i) {
      Sale& sale = sales[i];
      if (sale.latency) continue;
      const double cost = writer.cost(sale);
      if (cost != 0.0) {
        sale.cost = cost;
        sale.latency = secondsSince(sale.committed);
        ++priced;
        std::printf("  sale %zu priced %.4f after %.2f s\n", i + 1, cost, *sale.latency);
        std::fflush(stdout);
      } else if (Clock::now() - sale.committed > limit) {
        throw std::runtime_error("sale " + std::to_string(i + 1) + " (line " + std::to_string(sale.line) +
                                 ") has no cost " + std::to_string(limit.count()) + " s after its commit\n" +
                                 lastEntries(host));
      }
    }
    if (const std::optional<int> status = host.waitExit(std::chrono::seconds(0)))
      throw std::runtime_error("autoiepcensad-run ended (status " + std::to_string(*status) + ") while sales waited\n" +
                               lastEntries(host));
    std::this_thread::sleep_for(kPollInterval);
  }
}

// Returns once the run rests: it used under 3 % of a core for kRestSign. Where the run cannot tell
// its own cost writes from others' (a plain user, a Classic server) by the write counts, the pass
// after the first looks at what the first wrote, so the sales are timed from this steady state on.
// (The log cannot show it: a pass's last line is echoed only once the next line comes.)
void waitForRest(HostRun& live, std::chrono::seconds limit) {
  const auto start = Clock::now();
  for (;;) {
    const double before = cpuSeconds(live.pid());
    std::this_thread::sleep_for(kRestSign);
    if (cpuSeconds(live.pid()) - before < 0.03 * std::chrono::duration<double>(kRestSign).count()) return;
    if (Clock::now() - start > limit)
      throw std::runtime_error("the continuous run did not come to rest\n" + lastEntries(live));
  }
}

struct IdleShare {
  double host = 0, server = 0;  // percent of one core
};

IdleShare idleShare(pid_t host, pid_t server, int seconds) {
  const double hostBefore = cpuSeconds(host), serverBefore = serverCpuSeconds(server);
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double hostAfter = cpuSeconds(host), serverAfter = serverCpuSeconds(server);
  const double wall = secondsSince(start);
  return {100 * (hostAfter - hostBefore) / wall, 100 * (serverAfter - serverBefore) / wall};
}

struct Row {
  Condition condition;
  double firstPass = 0;
  double resting = 0;  // from the start until the run first rests
  double median = 0, worst = 0;
  IdleShare idle;
};

void printSales(const std::vector<Sale>& sales) {
  std::printf("  %-6s %8s %6s %8s %10s %10s\n", "sale", "goods", "dept", "line", "cost", "latency s");
  for (std::size_t i = 0; i < sales.size(); ++i) {
    const Sale& s = sales[i];
    std::printf("  %-6zu %8d %6d %8d %10.4f %10.2f\n", i + 1, s.goods, s.dept, s.line, s.cost, *s.latency);
  }
}

// The copy on a fresh server of the condition's mode, its period, and the registry file for it.
struct Served {
  std::unique_ptr<FirebirdServer> server;
  std::string database;
  Period period;
  std::string registry;
};

Served serve(const Options& o, const std::string& master, Condition condition) {
  Served s;
  s.server = startServer(fs::absolute(o.dir).string(), serverMode(condition));
  FirebirdServer::useCredentials();  // this program's own attachments are SYSDBA's
  const std::string copy = s.server->file("live.fdb");
  fs::copy_file(master, copy);
  fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
  s.database = s.server->connectionString(copy);
  s.period = preparePeriod(s.database);
  if (asPlainUser(condition)) grantPlainUser(s.database);
  s.registry = s.server->file("live.reg");
  talvix::test::writeHostRegistry(s.registry, s.database, s.period.from, s.period.to, onlyWithoutCost());
  return s;
}

talvix::test::HostOptions hostFor(const Options& o, Condition condition) {
  talvix::test::HostOptions host;
  host.verbose = false;
  host.program = o.host;
  host.environment = hostCredentials(condition);
  return host;
}

// Commits and times the sales, then reads the idle shares; fills the row's figures.
void timeAndIdle(const Options& o, Served& s, HostRun& live, Row& row) {
  std::vector<Sale> sales;
  Connection c;
  open(c, s.database);
  sales = plannedSales(c, s.period, o.sales);
  SaleWriter writer(c, s.period.to);
  timeSales(sales, writer, live, std::chrono::seconds(o.gapSeconds), std::chrono::seconds(60));
  c.close();
  row.idle = idleShare(live.pid(), s.server->pid(), o.idleSeconds);
  std::vector<double> latencies;
  for (const Sale& sale : sales) latencies.push_back(*sale.latency);
  printSales(sales);
  row.median = median(latencies);
  row.worst = *std::max_element(latencies.begin(), latencies.end());
}

Row measure(const Options& o, const std::string& master, Condition condition) {
  std::printf("\n== %s: %s\n", conditionName(condition), conditionText(condition));
  Served s = serve(o, master, condition);
  const talvix::test::HostOptions host = hostFor(o, condition);
  std::printf("Server %s (forced writes %s), master %s, period %s .. %s\n", s.database.c_str(),
              s.period.forcedWrites ? "on" : "off", master.c_str(), formatIsoDate(s.period.from).c_str(),
              formatIsoDate(s.period.to).c_str());
  std::fflush(stdout);
  // Opened before the run starts, as a clerk's document would be; department 1, the last day.
  std::optional<talvix::test::ClerkDocument> clerk;
  if (clerkOpen(condition)) clerk.emplace(s.database, s.period.to, 1);
  const double passSeconds = o.singlePass ? singlePass(s.registry, host) : 0;
  if (o.singlePass) std::printf("  one pass (--passes 1): %.2f s\n", passSeconds);
  // Anything slower than a few passes is a hang, not a measurement.
  const auto limit = std::chrono::seconds(static_cast<long>(4 * passSeconds) + 900);

  const auto liveStart = Clock::now();
  HostRun live(s.registry, {}, host);
  if (!live.waitForText(kPassDone, limit))
    throw std::runtime_error("the continuous run completed no pass within " + std::to_string(limit.count()) + " s\n" +
                             lastEntries(live));
  Row row{};
  row.condition = condition;
  row.firstPass = secondsSince(liveStart);
  std::printf("  continuous run: first pass complete after %.2f s\n", row.firstPass);
  std::fflush(stdout);
  waitForRest(live, limit);
  row.resting = secondsSince(liveStart) - std::chrono::duration<double>(kRestSign).count();
  std::printf("  resting after %.2f s\n", row.resting);
  std::fflush(stdout);
  timeAndIdle(o, s, live, row);
  requireNoFailure(live, "the continuous run");
  live.signal(SIGTERM);
  const std::optional<int> stopped = live.waitExit(kStopLimit);
  if (!stopped || *stopped != 0)
    throw std::runtime_error("autoiepcensad-run did not exit 0 on SIGTERM\n" + lastEntries(live));
  clerk.reset();
  s.server->stop();
  return row;
}

int run(const Options& o) {
  fs::create_directories(o.dir);
  if (access(o.host.c_str(), X_OK) != 0) throw std::runtime_error("--host " + o.host + ": not an executable program");
  const std::string master = ensureMaster(o);
  std::vector<Row> rows;
  std::vector<std::string> failures;
  for (const Condition condition : o.conditions) {
    try {
      rows.push_back(measure(o, master, condition));
    } catch (const std::exception& error) {
      failures.push_back(std::string(conditionName(condition)) + ": " + error.what());
      std::fprintf(stderr, "%s: FAILED in condition %s: %s\n", kProgram, conditionName(condition), error.what());
    }
  }

  std::printf("\n%d sales %d s apart per condition; idle %d s, CPU %% of one core (server: every process)\n", o.sales,
              o.gapSeconds, o.idleSeconds);
  std::printf("%-14s %-42s %10s %9s %9s %8s %7s %8s %7s\n", "condition", "", "1st pass s", "rests s", "median s",
              "worst s", "host %", "server %", "total %");
  for (const Row& r : rows)
    std::printf("%-14s %-42s %10.2f %9.2f %9.2f %8.2f %7.1f %8.1f %7.1f\n", conditionName(r.condition),
                conditionText(r.condition), r.firstPass, r.resting, r.median, r.worst, r.idle.host, r.idle.server,
                r.idle.host + r.idle.server);
  for (const std::string& failure : failures) std::printf("FAILED %s\n", failure.c_str());
  return failures.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  try {
    options = parseOptions(argc, argv);
  } catch (const std::invalid_argument& error) {
    if (!*error.what()) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    std::fprintf(stderr, "%s: %s\n%s", kProgram, error.what(), kUsage);
    return 2;
  }
  try {
    return run(options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: FAILED: %s\n", kProgram, error.what());
    return 1;
  }
}
