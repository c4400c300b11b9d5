// run_bench: how fast the tool prices, against the floor of the database itself.
// Makes the benchmark database (a year, 2,000 goods, 8 departments, about 250,000 lines) and
// reports, for each scenario on a fresh copy: seconds, lines per second, the ratio to the write
// floor measured in the same run, the pricing-library calls and the process's peak memory.
// Each scenario runs in a child process of its own, so its peak memory is its own.
#include "bench/runs/counting_pricing.h"
#include "data/query.h"
#include "pricing/library.h"
#include "registry/memory_registry_store.h"
#include "report/unpriced_report.h"
#include "run/fifo_run.h"
#include "run/weighted_average_run.h"
#include "tools/demo/demo_history.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace talvix;

namespace {

struct Outcome {
  long lines = 0;    // lines the scenario priced (or rows the floor wrote)
  long updates = 0;  // single-row updates with a commit each
  long calls = 0;
};

struct Row {
  std::string name;
  double seconds;
  Outcome outcome;
  long peakKb;
};

class SilentLog : public ProgressLog {
 public:
  void AddProcessLine(const std::string&, bool) override {}
  void repaintWindow() override {}
};

class NoSleep : public Sleeper {
 public:
  void sleepMilliseconds(int) override {}
};

void setForcedWrites(const std::string& path, bool on) {
  const std::string command = "gfix -user SYSDBA -write " + std::string(on ? "sync " : "async ") + path;
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

// The updates a mode-2 FIFO pass makes one by one: the transfer and issue resets, then every line.
Outcome fifoWork(const std::string& path, DateTime first, DateTime last) {
  Connection c;
  c.setDatabaseName(path);
  c.open();
  auto between = [&](const std::string& sql) {
    Query q(c);
    q.setSql(sql);
    q.setDateTime("DAT_NO", first);
    q.setDateTime("DAT_LIDZ", last);
    q.open();
    return static_cast<long>(q.asInteger(0));
  };
  const long transfers = between(
      "SELECT COUNT(*) FROM O_PARPAV P, O_PARPRC L WHERE P.ISN = L.ISPARVPAV AND P.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ");
  const long issues = between(
      "SELECT COUNT(*) FROM O_PAVOUT P, O_PRCOUT L WHERE P.ISN = L.ISPAVOUT AND P.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ");
  const long returns = between("SELECT COUNT(*) FROM O_ATGPAV P, O_ATGPRC L WHERE P.ISN = L.ISATGPAV AND "
                               "(P.FROM_WHAT IS NULL OR P.FROM_WHAT != 1) AND P.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ");
  const long balances = between("SELECT COUNT(*) FROM O_PRATL_PAV P, O_PRATL_PRC L WHERE P.ISN = L.ISPRATLPAV AND "
                                "P.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ");
  Outcome o;
  o.lines = transfers + issues + returns + balances;
  o.updates = transfers + issues + o.lines;
  return o;
}

// The floor: the same number of single-row updates by key, each committed retaining.
Outcome writeFloor(const std::string& path, long updates) {
  Connection c;
  c.setDatabaseName(path);
  c.open();
  Query keys(c);
  keys.setSql("SELECT ISN FROM O_PRCOUT ORDER BY ISN");
  keys.open();
  Query update(c);
  update.setSql("UPDATE O_PRCOUT SET IEP_CENA = :IEP_CENA WHERE ISN = :ISN");
  Outcome o;
  while (o.updates < updates) {
    for (keys.first(); !keys.eof() && o.updates < updates; keys.next()) {
      update.setDouble("IEP_CENA", 1.0 + o.updates % 7);
      update.setInteger("ISN", keys.asInteger(0));
      update.execSql();
      c.defaultTransaction().commitRetaining();
      ++o.updates;
    }
  }
  o.lines = o.updates;
  return o;
}

Outcome runTool(const std::string& path, const RunSettings& settings, bool fifo) {
  auto library = pricing::MainFormDatiDll();
  library->mainFormDati().PRECES_DB.setDatabaseName(path);
  library->mainFormDati().connect();
  bench::CountingPricing counting(*library);
  SilentLog log;
  MemoryRegistryStore registry;
  NoSleep sleeper;
  WindowState state;
  RunContext ctx{settings, counting, log, registry, sleeper, state};
  if (fifo) FifoRun(ctx); else WeightedAverageRun(ctx);
  Outcome o;
  o.calls = counting.calls;
  return o;
}

// The report of lines still without cost under the same settings; lines: the lines it lists.
Outcome reportUnpriced(const std::string& path, const RunSettings& settings) {
  auto library = pricing::MainFormDatiDll();
  library->mainFormDati().PRECES_DB.setDatabaseName(path);
  library->mainFormDati().connect();
  bench::CountingPricing counting(*library);
  SilentLog log;
  MemoryRegistryStore registry;
  NoSleep sleeper;
  WindowState state;
  RunContext ctx{settings, counting, log, registry, sleeper, state};
  Outcome o;
  o.lines = static_cast<long>(listUnpricedLines(ctx, true).size());
  o.calls = counting.calls;
  return o;
}

// Runs work in a child process and returns its result, seconds and peak memory.
Row measure(const std::string& name, const std::function<Outcome()>& work) {
  int pipefd[2];
  if (pipe(pipefd) != 0) throw std::runtime_error("pipe");
  const pid_t child = fork();
  if (child == 0) {
    close(pipefd[0]);
    int status = 0;
    struct { Outcome o; double seconds; } result{};
    try {
      const auto start = std::chrono::steady_clock::now();
      result.o = work();
      result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s: %s\n", name.c_str(), e.what());
      status = 1;
    }
    if (write(pipefd[1], &result, sizeof result) != sizeof result) status = 1;
    _exit(status);
  }
  close(pipefd[1]);
  struct { Outcome o; double seconds; } result{};
  const ssize_t got = read(pipefd[0], &result, sizeof result);
  close(pipefd[0]);
  int status = 0;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  if (got != sizeof result || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error(name + " failed");
  return Row{name, result.seconds, result.o, usage.ru_maxrss};
}

std::string copyOf(const std::string& master, const std::string& dir, const std::string& name) {
  const std::string path = dir + "/" + name + ".fdb";
  fs::copy_file(master, path, fs::copy_options::overwrite_existing);
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  demo::HistoryShape shape;
  shape.goods = 2000;
  shape.departments = 8;
  shape.days = 365;
  shape.lines = 270000;  // some drawn lines find no stock; this lands near 250,000
  shape.lastDay = makeDate(2026, 12, 31);
  std::string dir = "/tmp/talvix-bench";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--lines" && i + 1 < argc) shape.lines = std::stol(argv[++i]);
    else if (arg == "--goods" && i + 1 < argc) shape.goods = std::stoi(argv[++i]);
    else if (arg == "--dir" && i + 1 < argc) dir = argv[++i];
    else {
      std::fprintf(stderr, "usage: run_bench [--lines N] [--goods N] [--dir DIR]\n");
      return 2;
    }
  }
  fs::create_directories(dir);
  const std::string master = dir + "/bench-master.fdb";
  fs::remove(master);
  const auto made = demo::makeDemoDatabase(master, shape);
  std::printf("Benchmark database: %ld lines, %d goods, %d departments, %d days\n\n", made.total(), shape.goods,
              shape.departments, shape.days);

  const DateTime yearFirst = shape.lastDay - shape.days + 1, yearLast = shape.lastDay;
  const Outcome work = fifoWork(master, yearFirst, yearLast);

  RunSettings fifoAll;
  fifoAll.dateFrom = yearFirst;
  fifoAll.dateTo = yearLast;
  fifoAll.transfers = fifoAll.issues = fifoAll.returns = fifoAll.balances = kAllAnew;
  RunSettings average100 = fifoAll;
  average100.dateFrom = yearLast - 99;
  RunSettings idle = fifoAll;
  idle.transfers = idle.issues = idle.returns = idle.balances = kOnlyWithoutCost;

  std::vector<Row> rows;
  for (bool forced : {true, false}) {
    const std::string fw = forced ? " (forced writes on)" : " (forced writes off)";
    const std::string floorDb = copyOf(master, dir, "floor");
    setForcedWrites(floorDb, forced);
    rows.push_back(measure("write floor" + fw, [&] { return writeFloor(floorDb, work.updates); }));
    const std::string fifoDb = copyOf(master, dir, "fifo");
    setForcedWrites(fifoDb, forced);
    rows.push_back(measure("FIFO pass, mode 2, year" + fw, [&] {
      Outcome o = runTool(fifoDb, fifoAll, true);
      o.lines = work.lines;
      o.updates = work.updates;
      return o;
    }));
    if (!forced) {
      rows.push_back(measure("idle continuous FIFO pass, mode 1, year", [&] { return runTool(fifoDb, idle, true); }));
      // Should take no longer than the idle pass above it.
      rows.push_back(measure("unpriced-line report after it, year", [&] { return reportUnpriced(fifoDb, idle); }));
      const std::string averageDb = copyOf(master, dir, "average");
      setForcedWrites(averageDb, forced);
      const Outcome averageWork = fifoWork(averageDb, average100.firstDay(), average100.lastDay());
      rows.push_back(measure("weighted average, mode 2, 100 days" + fw, [&] {
        Outcome o = runTool(averageDb, average100, false);
        o.lines = averageWork.lines;
        return o;
      }));
    }
  }

  std::printf("%-44s %9s %10s %8s %9s %9s %10s\n", "scenario", "seconds", "lines", "lines/s", "x floor", "calls",
              "peak MB");
  double floorSeconds = 0;
  for (const Row& r : rows) {
    if (r.name.rfind("write floor", 0) == 0) floorSeconds = r.seconds;
    const double rate = r.seconds > 0 ? r.outcome.lines / r.seconds : 0;
    std::printf("%-44s %9.2f %10ld %8.0f %9.2f %9ld %10.1f\n", r.name.c_str(), r.seconds, r.outcome.lines, rate,
                floorSeconds > 0 ? r.seconds / floorSeconds : 0.0, r.outcome.calls, r.peakKb / 1024.0);
  }
  std::printf("\nThe floor writes as many single-row updates, each committed, as the FIFO pass does (%ld:"
              " its resets of transfers and issues, then every line); x floor compares with the floor above it.\n",
              work.updates);
  return 0;
}
