// many_shops: what a chain's server bears when every shop's database on it has its own continuous
// FIFO run. For each count of shops given: starts one private Super server on loopback, puts that
// many copies of a small shop's history on it (the master made once in --dir and kept there), starts
// one autoiepcensad-run per copy, waits until all rest, reads the CPU time the runs and the server
// take in --idle-seconds of rest and each run's resident memory, then commits --sales sales
// --gap-seconds apart, each in a shop drawn at random, and times each from its commit to its cost.
// Prints one row per count.
//   many_shops --dir DIR [--shops LIST] [--condition sysdba|plain] [--idle-seconds N] [--sales N]
//              [--settle-seconds N] [--gap-seconds N] [--host PATH] [--seed N]
#include "bench/live/live_shop.h"
#include "data/query.h"
#include "support/host_registry.h"
#include "support/host_run.h"
#include "support/shop_conditions.h"
#include "tools/demo/demo_history.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace talvix;
using namespace talvix::bench;
using talvix::test::Condition;
using talvix::test::FirebirdServer;
using talvix::test::HostRun;

namespace {

constexpr char kProgram[] = "many_shops";
constexpr char kUsage[] =
    "usage: many_shops --dir DIR [--shops LIST] [--condition sysdba|plain] [--idle-seconds N] [--sales N]\n"
    "                  [--settle-seconds N] [--gap-seconds N] [--host PATH] [--seed N]\n"
    "  LIST: counts of shops separated by commas (10,30,50)\n";
constexpr char kPassDone[] = "FIFO piešķiršana pabeigta ";
constexpr char kFailurePrefix[] = "Kļūda";
constexpr auto kFirstPassLimit = std::chrono::seconds(900);
constexpr auto kSaleLimit = std::chrono::seconds(60);
constexpr auto kStopLimit = std::chrono::seconds(120);
constexpr auto kPollInterval = std::chrono::milliseconds(20);
// The runs rest once they took under this share of a core each for kRestSign.
constexpr double kRestShare = 0.03;
constexpr auto kRestSign = std::chrono::seconds(3);

struct Options {
  std::string dir;
  std::string host = TALVIX_HOST_PROGRAM;
  std::vector<int> shops{10, 30, 50};
  Condition condition = Condition::Sysdba;
  int idleSeconds = 60;
  int settleSeconds = 0;  // rest before the idle window, so the rests have lengthened
  int sales = 20;
  int gapSeconds = 3;
  unsigned seed = 46;
};

int positive(const std::string& option, const std::string& text) {
  std::size_t used = 0;
  int value = 0;
  try {
    value = std::stoi(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size() || value < 1)
    throw std::invalid_argument(option + " wants a whole number of 1 or more, not \"" + text + "\"");
  return value;
}

Options parseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help") throw std::invalid_argument("");
    if (i + 1 >= argc) throw std::invalid_argument("unknown option or missing value: " + arg);
    const std::string value = argv[++i];
    if (arg == "--dir")
      o.dir = value;
    else if (arg == "--host")
      o.host = value;
    else if (arg == "--idle-seconds")
      o.idleSeconds = positive(arg, value);
    else if (arg == "--settle-seconds")
      o.settleSeconds = positive(arg, value);
    else if (arg == "--sales")
      o.sales = positive(arg, value);
    else if (arg == "--gap-seconds")
      o.gapSeconds = positive(arg, value);
    else if (arg == "--seed")
      o.seed = static_cast<unsigned>(positive(arg, value));
    else if (arg == "--condition") {
      const std::optional<Condition> c = test::conditionNamed(value);
      if (!c || (*c != Condition::Sysdba && *c != Condition::PlainUser))
        throw std::invalid_argument("--condition wants sysdba or plain, not \"" + value + "\"");
      o.condition = *c;
    } else if (arg == "--shops") {
      o.shops.clear();
      std::istringstream in(value);
      for (std::string count; std::getline(in, count, ',');) o.shops.push_back(positive(arg, count));
      if (o.shops.empty()) throw std::invalid_argument("--shops names no count");
    } else
      throw std::invalid_argument("unknown option: " + arg);
  }
  if (o.dir.empty()) throw std::invalid_argument("--dir is required");
  return o;
}

// A small shop: a year of 500 goods in 2 departments, about 25,000 lines.
std::string ensureMaster(const std::string& dir) {
  const std::string path = dir + "/shop-master.fdb";
  if (fs::exists(path)) return path;
  const std::string part = path + ".part";
  fs::remove(part);
  demo::HistoryShape shape;
  shape.goods = 500;
  shape.departments = 2;
  shape.days = 365;
  shape.lines = 27000;
  shape.lastDay = makeDate(2026, 12, 31);
  const demo::HistoryCounts made = demo::makeDemoDatabase(part, shape);
  {
    // The demo's blocked days lie in its first days; the host would refuse a period holding them.
    Connection c;
    open(c, part);
    c.executeImmediate("DELETE FROM N_BLOKDIENAS");
    c.defaultTransaction().commit();
  }
  fs::rename(part, path);
  std::printf("Made %s: %ld lines\n", path.c_str(), made.total());
  return path;
}

std::string lastEntries(const HostRun& run) {
  return "standard error:\n" + run.errors() + "progress log (last entries):\n" + test::printable(run.texts(), 20);
}

void requireNoFailure(const HostRun& run, const std::string& what) {
  for (const std::string& text : run.texts())
    if (text.rfind(kFailurePrefix, 0) == 0)
      throw std::runtime_error(what + ": a pass failed: " + text + "\n" + lastEntries(run));
}

struct Shop {
  std::string database;
  std::string registry;
  Period period;
  std::unique_ptr<HostRun> run;
};

double hostsCpu(const std::vector<Shop>& shops) {
  double seconds = 0;
  for (const Shop& shop : shops) seconds += cpuSeconds(shop.run->pid());
  return seconds;
}

void waitForRest(const std::vector<Shop>& shops) {
  const auto start = Clock::now();
  const double sign = std::chrono::duration<double>(kRestSign).count();
  for (;;) {
    const double before = hostsCpu(shops);
    std::this_thread::sleep_for(kRestSign);
    if (hostsCpu(shops) - before < kRestShare * sign * static_cast<double>(shops.size())) return;
    if (Clock::now() - start > kFirstPassLimit) throw std::runtime_error("the runs did not come to rest");
  }
}

struct Row {
  int shops = 0;
  double host = 0, server = 0;  // % of one core, all runs together / every server process
  double residentMb = 0, serverMb = 0;
  double median = 0, worst = 0;
};

// One sale to commit: its shop and its goods.
struct Planned {
  std::size_t shop = 0;
  Sale sale;
};

// Draws the sales' shops and plans them there; the writers' connections stay open as a shop's own
// program's would.
std::vector<Planned> planSales(const Options& o, std::vector<Shop>& shops, std::map<std::size_t, Connection>& links,
                               std::map<std::size_t, std::unique_ptr<SaleWriter>>& writers) {
  std::mt19937 random(o.seed);
  std::map<std::size_t, int> perShop;
  std::vector<std::size_t> order;
  for (int i = 0; i < o.sales; ++i) {
    const std::size_t shop = std::uniform_int_distribution<std::size_t>(0, shops.size() - 1)(random);
    order.push_back(shop);
    ++perShop[shop];
  }
  std::map<std::size_t, std::vector<Sale>> planned;
  for (const auto& [shop, count] : perShop) {
    Connection& c = open(links[shop], shops[shop].database);
    planned[shop] = plannedSales(c, shops[shop].period, count);
    writers[shop] = std::make_unique<SaleWriter>(c, shops[shop].period.to);
  }
  std::vector<Planned> sales;
  for (const std::size_t shop : order) {
    sales.push_back({shop, planned[shop].back()});
    planned[shop].pop_back();
  }
  return sales;
}

void timeSales(const Options& o, std::vector<Planned>& sales, std::vector<Shop>& shops,
               std::map<std::size_t, std::unique_ptr<SaleWriter>>& writers) {
  std::size_t committed = 0, priced = 0;
  auto nextCommit = Clock::now();
  while (priced < sales.size()) {
    if (committed < sales.size() && Clock::now() >= nextCommit) {
      Planned& p = sales[committed];
      writers[p.shop]->commit(p.sale);
      ++committed;
      nextCommit += std::chrono::seconds(o.gapSeconds);
    }
    for (std::size_t i = 0; i < committed; ++i) {
      Planned& p = sales[i];
      if (p.sale.latency) continue;
      const double cost = writers[p.shop]->cost(p.sale);
      if (cost != 0.0) {
        p.sale.cost = cost;
        p.sale.latency = secondsSince(p.sale.committed);
        ++priced;
        std::printf("  sale %zu in shop %zu priced after %.2f s\n", i + 1, p.shop + 1, *p.sale.latency);
        std::fflush(stdout);
      } else if (Clock::now() - p.sale.committed > kSaleLimit) {
        throw std::runtime_error("sale " + std::to_string(i + 1) + " in shop " + std::to_string(p.shop + 1) +
                                 " has no cost 60 s after its commit\n" + lastEntries(*shops[p.shop].run));
      }
    }
    std::this_thread::sleep_for(kPollInterval);
  }
}

Row measure(const Options& o, const std::string& master, int count) {
  std::printf("\n== %d shops (%s)\n", count, test::conditionText(o.condition));
  std::fflush(stdout);
  const std::unique_ptr<FirebirdServer> server = startServer(fs::absolute(o.dir).string(), FirebirdServer::Mode::Super);
  FirebirdServer::useCredentials();
  std::vector<Shop> shops(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    Shop& shop = shops[static_cast<std::size_t>(i)];
    const std::string copy = server->file("shop" + std::to_string(i + 1) + ".fdb");
    fs::copy_file(master, copy);
    fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
    shop.database = server->connectionString(copy);
    shop.period = preparePeriod(shop.database);
    if (test::asPlainUser(o.condition)) test::grantPlainUser(shop.database);
    shop.registry = server->file("shop" + std::to_string(i + 1) + ".reg");
    test::writeHostRegistry(shop.registry, shop.database, shop.period.from, shop.period.to, onlyWithoutCost());
  }
  test::HostOptions host;
  host.verbose = false;
  host.program = o.host;
  host.environment = test::hostCredentials(o.condition);
  const auto start = Clock::now();
  for (Shop& shop : shops) shop.run = std::make_unique<HostRun>(shop.registry, std::vector<std::string>{}, host);
  for (std::size_t i = 0; i < shops.size(); ++i)
    if (!shops[i].run->waitForText(kPassDone, kFirstPassLimit))
      throw std::runtime_error("shop " + std::to_string(i + 1) + " completed no pass\n" + lastEntries(*shops[i].run));
  waitForRest(shops);
  std::printf("  all %d runs rest after %.1f s\n", count, secondsSince(start));
  std::fflush(stdout);

  std::map<std::size_t, Connection> links;
  std::map<std::size_t, std::unique_ptr<SaleWriter>> writers;
  std::vector<Planned> sales = planSales(o, shops, links, writers);
  waitForRest(shops);  // the planning's reads may have ended rests
  std::this_thread::sleep_for(std::chrono::seconds(o.settleSeconds));

  Row row{count};
  const double hostBefore = hostsCpu(shops), serverBefore = serverCpuSeconds(server->pid());
  const auto idleStart = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(o.idleSeconds));
  const double wall = secondsSince(idleStart);
  row.host = 100 * (hostsCpu(shops) - hostBefore) / wall;
  row.server = 100 * (serverCpuSeconds(server->pid()) - serverBefore) / wall;
  long long resident = 0;
  for (const Shop& shop : shops) resident += residentBytes(shop.run->pid());
  row.residentMb = static_cast<double>(resident) / (1 << 20);
  row.serverMb = static_cast<double>(residentBytes(server->pid())) / (1 << 20);

  timeSales(o, sales, shops, writers);
  std::vector<double> latencies;
  for (const Planned& p : sales) latencies.push_back(*p.sale.latency);
  row.median = median(latencies);
  row.worst = *std::max_element(latencies.begin(), latencies.end());

  writers.clear();
  links.clear();
  for (std::size_t i = 0; i < shops.size(); ++i) {
    requireNoFailure(*shops[i].run, "shop " + std::to_string(i + 1));
    shops[i].run->signal(SIGTERM);
  }
  for (std::size_t i = 0; i < shops.size(); ++i) {
    const std::optional<int> stopped = shops[i].run->waitExit(kStopLimit);
    if (!stopped || *stopped != 0)
      throw std::runtime_error("shop " + std::to_string(i + 1) + ": autoiepcensad-run did not exit 0 on SIGTERM\n" +
                               lastEntries(*shops[i].run));
  }
  return row;
}

int run(const Options& o) {
  fs::create_directories(o.dir);
  if (access(o.host.c_str(), X_OK) != 0) throw std::runtime_error("--host " + o.host + ": not an executable program");
  const std::string master = ensureMaster(o.dir);
  std::vector<Row> rows;
  for (const int count : o.shops) rows.push_back(measure(o, master, count));
  std::printf("\n%s; idle %d s, CPU %% of one core; %d sales %d s apart, each in a shop drawn at random\n",
              test::conditionText(o.condition), o.idleSeconds, o.sales, o.gapSeconds);
  std::printf("%6s %8s %9s %8s %9s %12s %10s %9s %8s\n", "shops", "tools %", "server %", "total %", "per shop",
              "tools MB", "server MB", "median s", "worst s");
  for (const Row& r : rows)
    std::printf("%6d %8.1f %9.1f %8.1f %9.2f %12.0f %10.0f %9.2f %8.2f\n", r.shops, r.host, r.server, r.host + r.server,
                (r.host + r.server) / r.shops, r.residentMb, r.serverMb, r.median, r.worst);
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
