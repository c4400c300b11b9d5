// live_latency: how soon a continuous FIFO run through a Firebird server prices a sale that another
// program has just committed, and what the run costs while there is nothing to price. Starts a
// private server on loopback, copies the demo history into it (made once in --dir and kept there),
// times one pass of autoiepcensad-run over the last month, then runs it without a pass limit,
// commits sales --gap-seconds apart from a second attachment, times each from its commit to its
// cost, and reads the CPU time the host and the server take in --idle-seconds of rest.
//   live_latency --dir DIR [--master FILE] [--years N] [--sales N] [--gap-seconds N]
//                [--idle-seconds N] [--host PATH]
#include "data/connection.h"
#include "data/document_tables.h"
#include "data/query.h"
#include "shell/settings_store.h"
#include "support/firebird_server.h"
#include "support/host_registry.h"
#include "support/host_run.h"
#include "tools/demo/demo_history.h"

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
using talvix::test::Clock;
using talvix::test::FirebirdServer;
using talvix::test::HostRun;

namespace {

constexpr char kProgram[] = "live_latency";
constexpr char kUsage[] =
    "usage: live_latency --dir DIR [--master FILE] [--years N] [--sales N] [--gap-seconds N]\n"
    "                    [--idle-seconds N] [--host PATH]\n";
constexpr char kPassDone[] = "FIFO piešķiršana pabeigta ";
constexpr char kFailurePrefix[] = "Kļūda";
constexpr auto kPollInterval = std::chrono::milliseconds(20);
constexpr auto kSinglePassLimit = std::chrono::hours(2);
constexpr auto kStopLimit = std::chrono::seconds(120);
constexpr double kTax = 21.0;

struct Options {
  std::string dir;
  std::string master;  // "": DIR/live-<years>y-master.fdb, made when missing
  std::string host = TALVIX_HOST_PROGRAM;
  int years = 10;
  int sales = 5;
  int gapSeconds = 5;
  int idleSeconds = 30;
};

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
    if (i + 1 >= argc) throw std::invalid_argument("unknown option or missing value: " + arg);
    const char* value = argv[++i];
    if (arg == "--dir") o.dir = value;
    else if (arg == "--master") o.master = value;
    else if (arg == "--host") o.host = value;
    else if (arg == "--years") o.years = positive(arg, value);
    else if (arg == "--sales") o.sales = positive(arg, value);
    else if (arg == "--gap-seconds") o.gapSeconds = positive(arg, value);
    else if (arg == "--idle-seconds") o.idleSeconds = positive(arg, value);
    else throw std::invalid_argument("unknown option: " + arg);
  }
  if (o.dir.empty()) throw std::invalid_argument("--dir is required");
  return o;
}

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

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

// Sets an environment variable for as long as it lives.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnvironment() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// The server's directory, which receives the database copy, goes under DIR: the copy is large.
std::unique_ptr<FirebirdServer> startServer(const std::string& dir) {
  const ScopedEnvironment temp("TMPDIR", dir);
  return std::make_unique<FirebirdServer>();
}

Connection& open(Connection& c, const std::string& database) {
  c.setDatabaseName(database);
  c.open();
  return c;
}

struct Period {
  DateTime from = 0, to = 0;
  bool forcedWrites = false;  // as the master has them: every commit waits for the disk
};

// The last month of the history: from the 1st to the last day an issue is dated. Also makes the
// copy price by FIFO with no blocked days, whatever the master held.
Period preparePeriod(const std::string& database) {
  Connection c;
  open(c, database);
  c.executeImmediate("DELETE FROM N_BLOKDIENAS");
  c.executeImmediate("UPDATE N_ISI SET ISIFIFO = 1");
  c.defaultTransaction().commit();
  Query q(c);
  q.setSql("SELECT MAX(DATUMS), (SELECT COUNT(*) FROM N_ISI WHERE ISIFIFO = 1), "
           "(SELECT MON$FORCED_WRITES FROM MON$DATABASE) FROM O_PAVOUT");
  q.open();
  if (q.isNull(0) || q.asInteger(1) != 1)
    throw std::runtime_error(database + " is no demo stock database: it needs issues and one N_ISI row");
  Period p;
  p.to = wholeDate(q.asDateTime(0));
  p.forcedWrites = q.asInteger(2) != 0;
  int year, month, day;
  decodeDate(p.to, year, month, day);
  p.from = makeDate(year, month, 1);
  return p;
}

// Every kind on "Piešķirt tikai ar 0 pašizmaksu", no option set.
std::map<std::string, int> onlyWithoutCost() {
  std::map<std::string, int> settings;
  for (const DocumentKindRow& row : kDocumentKinds) settings[row.names.setting] = kOnlyWithoutCost;
  for (const char* option : {shell::kPedejaCena, shell::kParvIzrakst1PardCena, shell::kPakalpojumusNe, shell::kIMEI})
    settings[option] = 0;
  return settings;
}

std::string lastEntries(const HostRun& run) {
  return "standard error:\n" + run.errors() + "progress log (last entries):\n" + talvix::test::printable(run.texts(), 20);
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
    throw std::runtime_error("autoiepcensad-run --passes 1 exited " + std::to_string(*status) + "\n" + lastEntries(run));
  requireNoFailure(run, "autoiepcensad-run --passes 1");
  return seconds;
}

// Goods a department has just received in quantity, not serial-numbered and not services: a sale of
// one unit on the period's last day finds stock, so its cost comes out above zero.
struct Sale {
  int goods = 0;
  int dept = 0;
  double price = 0;
  int line = 0;  // O_PRCOUT.ISN once committed
  Clock::time_point committed;
  std::optional<double> latency;
  double cost = 0;
};

constexpr char kStockedGoodsSql[] =
    "SELECT L.ISPRECE, H.ISNODALA, G.CENA1 FROM O_PAVADZ H JOIN O_PRECE L ON L.ISPAVADZ = H.ISN "
    "JOIN N_KLPREC G ON G.ISN = L.ISPRECE WHERE H.DAT_SANEM BETWEEN :DAT_NO AND :DAT_LIDZ AND "
    "L.ISSERTIF IS NULL AND L.DAUDZUMS >= 20 AND (G.PAKALPOJ IS NULL OR G.PAKALPOJ = 'F') "
    "ORDER BY H.DAT_SANEM DESC, L.ISN DESC";

std::vector<Sale> plannedSales(Connection& c, const Period& period, int count) {
  Query q(c);
  q.setSql(kStockedGoodsSql);
  q.setDateTime("DAT_NO", period.from);
  q.setDateTime("DAT_LIDZ", period.to);
  q.open();
  std::vector<Sale> sales;
  for (q.first(); !q.eof() && static_cast<int>(sales.size()) < count; q.next()) {
    const int goods = q.asInteger(0);
    if (std::any_of(sales.begin(), sales.end(), [&](const Sale& s) { return s.goods == goods; })) continue;
    Sale sale;
    sale.goods = goods;
    sale.dept = q.asInteger(1);
    sale.price = std::max(0.01, q.asDouble(2) / (1 + kTax / 100));
    sales.push_back(sale);
  }
  c.defaultTransaction().commit();
  if (static_cast<int>(sales.size()) < count)
    throw std::runtime_error("the period holds receipts of only " + std::to_string(sales.size()) +
                             " goods to sell; --sales asks for " + std::to_string(count));
  return sales;
}

// Writes sales as the shop's own program would: a header and one line with cost 0, committed.
class SaleWriter {
 public:
  SaleWriter(Connection& c, DateTime date) : c_(c), date_(date) {
    Query q(c_);
    q.setSql("SELECT (SELECT MAX(ISN) FROM O_PAVOUT), (SELECT MAX(ISN) FROM O_PRCOUT) FROM RDB$DATABASE");
    q.open();
    nextKey_ = std::max(q.asInteger(0), q.asInteger(1)) + 1;
    c_.defaultTransaction().commit();
  }

  void commit(Sale& sale) {
    const DocumentTables& t = tablesOf(DocumentKind::Issue);
    const int doc = nextKey_++;
    Query header(c_);
    header.setSql(std::string("INSERT INTO ") + t.header + " (ISN, " + t.date + ", " + t.dept + ", " + t.client +
                  ") VALUES (:ISN, :DATUMS, :DEPT, NULL)");
    header.setInteger("ISN", doc);
    header.setDateTime("DATUMS", date_);
    header.setInteger("DEPT", sale.dept);
    header.execSql();
    sale.line = nextKey_++;
    Query line(c_);
    line.setSql(std::string("INSERT INTO ") + t.lines + " (ISN, " + t.headerKey + ", ISPRECE, DAUDZUMS, " + t.cost +
                ", " + t.salePrice + ", " + t.markup + ", " + t.tax +
                ", ISSERTIF) VALUES (:ISN, :DOC, :GOODS, 1, 0, :PRICE, 0, :TAX, NULL)");
    line.setInteger("ISN", sale.line);
    line.setInteger("DOC", doc);
    line.setInteger("GOODS", sale.goods);
    line.setDouble("PRICE", sale.price);
    line.setDouble("TAX", kTax);
    line.execSql();
    c_.defaultTransaction().commit();
    sale.committed = Clock::now();
  }

  // The line's cost as committed now, read in a transaction of its own.
  double cost(const Sale& sale) {
    Query q(c_);
    q.setSql(std::string("SELECT ") + tablesOf(DocumentKind::Issue).cost + " FROM " +
             tablesOf(DocumentKind::Issue).lines + " WHERE ISN = :ISN");
    q.setInteger("ISN", sale.line);
    q.open();
    const double value = q.eof() ? 0.0 : q.asDouble(0);
    c_.defaultTransaction().commit();
    return value;
  }

 private:
  Connection& c_;
  DateTime date_;
  int nextKey_ = 0;
};

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

// utime + stime of a process, in seconds.
double cpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t name = text.rfind(')');  // the command name may hold blanks and parentheses
  if (name == std::string::npos) throw std::runtime_error("cannot read /proc/" + std::to_string(pid) + "/stat");
  std::istringstream fields(text.substr(name + 2));
  std::string field;
  // Fields 3 to 13 come before utime (14) and stime (15).
  for (int i = 3; i <= 13; ++i) fields >> field;
  unsigned long long user = 0, system = 0;
  if (!(fields >> user >> system)) throw std::runtime_error("cannot read /proc/" + std::to_string(pid) + "/stat");
  return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct IdleShare {
  double host = 0, server = 0;  // percent of one core
};

IdleShare idleShare(pid_t host, pid_t server, int seconds) {
  const double hostBefore = cpuSeconds(host), serverBefore = cpuSeconds(server);
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double hostAfter = cpuSeconds(host), serverAfter = cpuSeconds(server);
  const double wall = secondsSince(start);
  return {100 * (hostAfter - hostBefore) / wall, 100 * (serverAfter - serverBefore) / wall};
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int run(const Options& o) {
  fs::create_directories(o.dir);
  if (access(o.host.c_str(), X_OK) != 0) throw std::runtime_error("--host " + o.host + ": not an executable program");
  const std::string master = ensureMaster(o);

  std::unique_ptr<FirebirdServer> server = startServer(fs::absolute(o.dir).string());
  FirebirdServer::useCredentials();
  const std::string copy = server->file("live.fdb");
  fs::copy_file(master, copy);
  fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
  const std::string database = server->connectionString(copy);
  const Period period = preparePeriod(database);
  const std::string registry = server->file("live.reg");
  talvix::test::writeHostRegistry(registry, database, period.from, period.to, onlyWithoutCost());
  talvix::test::HostOptions host;
  host.verbose = false;
  host.program = o.host;
  std::printf("Server %s (forced writes %s), master %s, period %s .. %s\n", database.c_str(),
              period.forcedWrites ? "on" : "off", master.c_str(), formatIsoDate(period.from).c_str(),
              formatIsoDate(period.to).c_str());
  std::fflush(stdout);

  const double passSeconds = singlePass(registry, host);
  std::printf("  one pass (--passes 1): %.2f s\n", passSeconds);
  std::fflush(stdout);
  // Anything slower than a few passes is a hang, not a measurement.
  const auto limit = std::chrono::seconds(static_cast<long>(4 * passSeconds) + 120);

  const auto liveStart = Clock::now();
  HostRun live(registry, {}, host);
  if (!live.waitForText(kPassDone, limit))
    throw std::runtime_error("the continuous run completed no pass within " + std::to_string(limit.count()) + " s\n" +
                             lastEntries(live));
  const double firstPass = secondsSince(liveStart);
  std::printf("  continuous run: first pass complete after %.2f s\n", firstPass);
  std::fflush(stdout);

  std::vector<Sale> sales;
  IdleShare idle;
  {
    Connection c;
    open(c, database);
    sales = plannedSales(c, period, o.sales);
    SaleWriter writer(c, period.to);
    timeSales(sales, writer, live, std::chrono::seconds(o.gapSeconds), limit);
    c.close();
    idle = idleShare(live.pid(), server->pid(), o.idleSeconds);
  }
  requireNoFailure(live, "the continuous run");

  live.signal(SIGTERM);
  const std::optional<int> stopped = live.waitExit(kStopLimit);
  if (!stopped)
    throw std::runtime_error("autoiepcensad-run still runs " + std::to_string(kStopLimit.count()) + " s after SIGTERM");
  if (*stopped != 0)
    throw std::runtime_error("autoiepcensad-run exited " + std::to_string(*stopped) + " on SIGTERM\n" +
                             lastEntries(live));
  server->stop();

  std::vector<double> latencies;
  std::printf("\n%-6s %8s %6s %8s %10s %10s\n", "sale", "goods", "dept", "line", "cost", "latency s");
  for (std::size_t i = 0; i < sales.size(); ++i) {
    const Sale& s = sales[i];
    latencies.push_back(*s.latency);
    std::printf("%-6zu %8d %6d %8d %10.4f %10.2f\n", i + 1, s.goods, s.dept, s.line, s.cost, *s.latency);
  }
  std::printf("\n%-44s %10.2f\n", "one pass, --passes 1 (s)", passSeconds);
  std::printf("%-44s %10.2f\n", "continuous run, first pass complete (s)", firstPass);
  std::printf("%-44s %10.2f\n", "latency, median (s)", median(latencies));
  std::printf("%-44s %10.2f\n", "latency, worst (s)", *std::max_element(latencies.begin(), latencies.end()));
  const std::string idleTitle = "idle " + std::to_string(o.idleSeconds) + " s, CPU % of one core: ";
  std::printf("%-44s %10.1f\n", (idleTitle + "host").c_str(), idle.host);
  std::printf("%-44s %10.1f\n", (idleTitle + "server").c_str(), idle.server);
  std::printf("%-44s %10.1f\n", (idleTitle + "total").c_str(), idle.host + idle.server);
  std::printf("%-44s %10d\n", "host exit status on SIGTERM", *stopped);
  return 0;
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
