// run_bench: how fast the tool prices, as users run it and as bare steps, against the floor of the
// database itself. Makes the benchmark database (a year, 2,000 goods, 8 departments, about 250,000
// lines) and reports, for each scenario on a fresh copy: seconds, lines, lines per second, the ratio
// to the scenario it is compared with, the pricing-library calls (bare steps only) and peak memory.
// Bare steps run in a forked child; "host" scenarios start the shipped autoiepcensad-run on a
// registry file of their own (no window, output read and discarded); "window" scenarios
// open the window offscreen in a forked child and time what its menu item does. Each scenario is
// its own process, so its peak memory is its own.
//   run_bench [--only NAME]... [--lines N] [--goods N] [--dir DIR] [--results FILE] [--list]
// --results appends each row's name, seconds, CPU seconds and peak KB (bench/compare reads them).
#include "bench/runs/counting_pricing.h"
#include "data/query.h"
#include "pricing/library.h"
#include "registry/memory_registry_store.h"
#include "registry/registry_store.h"
#include "run/fifo_run.h"
#include "run/weighted_average_run.h"
#include "shell/auto_iep_cen_sad.h"
#include "shell/settings_store.h"
#include "shell/unpriced_dialog.h"
#include "tools/demo/demo_history.h"

#include <QApplication>
#include <QEventLoop>
#include <QStandardItemModel>
#include <QTableView>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace talvix;

namespace {

struct Outcome {
  long lines = 0;    // lines the scenario priced (or rows the floor wrote)
  long updates = 0;  // single-row updates with a commit each
  long calls = 0;
  double ownSeconds = 0;  // when set, the part of the work the scenario timed itself
};

struct Row {
  std::string name;
  std::string title;
  double seconds;
  Outcome outcome;
  long peakKb;
  std::string comparedWith;  // a row's name, or ""
  std::string note = "";     // what the seconds do not say, e.g. each pass of a continuous run
  double cpuSeconds = 0;     // user and system time of the scenario's processes: steadier than seconds
};

double cpuSeconds(const struct rusage& usage) {
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class SilentLog : public ProgressLog {
 public:
  void AddProcessLine(const std::string&, bool) override {}
  void repaintWindow() override {}
};

class NoSleep : public Sleeper {
 public:
  void sleepMilliseconds(int) override {}
};

using Clock = std::chrono::steady_clock;

// Starts a program without a shell, the environment's variables after extraEnv.
pid_t start(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
            const posix_spawn_file_actions_t& actions) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> envText(extraEnv);
  for (char** e = environ; *e; ++e) envText.emplace_back(*e);
  std::vector<char*> env;
  for (std::string& e : envText) env.push_back(e.data());
  env.push_back(nullptr);
  pid_t child = 0;
  const int failed = posix_spawnp(&child, args[0], &actions, nullptr, args.data(), env.data());
  if (failed) throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(failed));
  return child;
}

int waitFor(pid_t child, struct rusage* usage) {
  int status = 0;
  struct rusage ignored {};
  while (wait4(child, &status, 0, usage ? usage : &ignored) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// What the child's standard streams become; owns the list.
struct SpawnActions {
  posix_spawn_file_actions_t list;
  SpawnActions() { posix_spawn_file_actions_init(&list); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&list); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
};

// Runs a program without a shell; its output goes to /dev/null unless kept. Returns the exit status.
int spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv, struct rusage* usage,
          bool quiet) {
  SpawnActions actions;
  if (quiet) posix_spawn_file_actions_addopen(&actions.list, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  return waitFor(start(argv, extraEnv, actions.list), usage);
}

struct StampedLine {
  Clock::time_point at;  // when the line reached us, its newline included
  std::string text;
};

// Runs a program without a shell, reading its output through a pipe as it comes: every line with
// the moment it arrived. Returns the exit status.
int spawnReading(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv, struct rusage* usage,
                 std::vector<StampedLine>& lines) {
  int pipefd[2];
  if (pipe2(pipefd, O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  pid_t child = 0;
  try {
    SpawnActions actions;
    posix_spawn_file_actions_adddup2(&actions.list, pipefd[1], STDOUT_FILENO);
    child = start(argv, extraEnv, actions.list);
  } catch (...) {
    close(pipefd[0]);
    close(pipefd[1]);
    throw;
  }
  close(pipefd[1]);
  std::string pending;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(pipefd[0], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    const auto at = Clock::now();
    pending.append(buffer, static_cast<size_t>(got));
    for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1))
      lines.push_back({at, pending.substr(0, end)});
  }
  if (!pending.empty()) lines.push_back({Clock::now(), pending});
  close(pipefd[0]);
  return waitFor(child, usage);
}

void execute(const std::string& path, const std::string& sql) {
  Connection c;
  c.setDatabaseName(path);
  c.open();
  c.executeImmediate(sql);
  c.defaultTransaction().commit();
}

long countLines(Connection& c, const std::string& sql, DateTime first, DateTime last) {
  Query q(c);
  q.setSql(sql);
  q.setDateTime("DAT_NO", first);
  q.setDateTime("DAT_LIDZ", last);
  q.open();
  return q.asInteger(0);
}

// The lines a pass over the period may price, and the updates a mode-2 FIFO pass makes one by one:
// the transfer and issue resets, then every line.
Outcome periodWork(const std::string& path, DateTime first, DateTime last) {
  Connection c;
  c.setDatabaseName(path);
  c.open();
  const long transfers = countLines(c,
                                    "SELECT COUNT(*) FROM O_PARPAV P, O_PARPRC L WHERE P.ISN = L.ISPARVPAV AND "
                                    "P.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ",
                                    first, last);
  const long issues = countLines(
      c,
      "SELECT COUNT(*) FROM O_PAVOUT P, O_PRCOUT L WHERE P.ISN = L.ISPAVOUT AND P.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ",
      first, last);
  const long returns =
      countLines(c,
                 "SELECT COUNT(*) FROM O_ATGPAV P, O_ATGPRC L WHERE P.ISN = L.ISATGPAV AND "
                 "(P.FROM_WHAT IS NULL OR P.FROM_WHAT != 1) AND P.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ",
                 first, last);
  const long balances = countLines(c,
                                   "SELECT COUNT(*) FROM O_PRATL_PAV P, O_PRATL_PRC L WHERE P.ISN = L.ISPRATLPAV AND "
                                   "P.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ",
                                   first, last);
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

// The steps without a window, on the real library with its calls counted.
Outcome withSteps(const std::string& path, const RunSettings& settings,
                  const std::function<void(RunContext&, Outcome&)>& work) {
  auto library = pricing::MainFormDatiDll();
  library->mainFormDati().PRECES_DB.setDatabaseName(path);
  library->mainFormDati().connect();
  bench::CountingPricing counting(*library);
  SilentLog log;
  MemoryRegistryStore registry;
  NoSleep sleeper;
  SessionState state;
  RunContext ctx{settings, counting, log, registry, sleeper, state};
  Outcome o;
  work(ctx, o);
  o.calls = counting.calls;
  return o;
}

Outcome runSteps(const std::string& path, const RunSettings& settings, bool fifo) {
  return withSteps(path, settings, [fifo](RunContext& ctx, Outcome&) {
    if (fifo)
      FifoRun(ctx);
    else
      WeightedAverageRun(ctx);
  });
}

// Bare steps in a forked child: its result, seconds and peak memory.
std::pair<double, Outcome> inChild(const std::string& name, const std::function<Outcome()>& work, long& peakKb,
                                   double* cpu = nullptr) {
  int pipefd[2];
  if (pipe(pipefd) != 0) throw std::runtime_error("pipe");
  const pid_t child = fork();
  if (child == 0) {
    close(pipefd[0]);
    int status = 0;
    struct {
      Outcome o;
      double seconds;
    } result{};
    try {
      const auto start = std::chrono::steady_clock::now();
      result.o = work();
      result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (result.o.ownSeconds > 0) result.seconds = result.o.ownSeconds;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s: %s\n", name.c_str(), e.what());
      status = 1;
    }
    if (write(pipefd[1], &result, sizeof result) != sizeof result) status = 1;
    _exit(status);
  }
  close(pipefd[1]);
  struct {
    Outcome o;
    double seconds;
  } result{};
  const ssize_t got = read(pipefd[0], &result, sizeof result);
  close(pipefd[0]);
  int status = 0;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  if (got != sizeof result || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error(name + " failed");
  peakKb = usage.ru_maxrss;
  if (cpu) *cpu = cpuSeconds(usage);
  return {result.seconds, result.o};
}

// A registry file listing the database and choosing it, with the settings saved as the window
// saves them.
std::string writeRegistry(const std::string& dir, const std::string& name, const std::string& path,
                          const RunSettings& settings) {
  const std::string registryPath = dir + "/" + name + ".reg";
  {
    RegFileStore store(registryPath);
    const auto bazes = store.openForWrite(shell::kDatabasesKey);
    const auto password = store.openForWrite(shell::kPasswordKey);
    if (!bazes || !password) throw std::runtime_error("cannot write " + registryPath);
    bazes->writeString("Bench", path);
    password->writeInteger(shell::kLastDbIndex, 0);
    shell::saveSettings(store, settings);
  }
  return registryPath;
}

std::vector<std::string> hostCommand(const std::vector<std::string>& hostArgs) {
  std::vector<std::string> argv{TALVIX_HOST_PROGRAM};
  argv.insert(argv.end(), hostArgs.begin(), hostArgs.end());
  return argv;
}

std::vector<std::string> hostEnvironment(const std::string& registryPath) {
  return {"TALVIX_REGISTRY=" + registryPath};
}

void checkHostExit(const std::string& name, int status) {
  if (status != 0) throw std::runtime_error(name + ": autoiepcensad-run exited " + std::to_string(status));
}

// The shipped host on its own registry file. Seconds from start to exit, and the host's peak memory.
double runHost(const std::string& dir, const std::string& name, const std::string& path, const RunSettings& settings,
               const std::vector<std::string>& hostArgs, long& peakKb, double* cpu = nullptr) {
  const std::string registryPath = writeRegistry(dir, name, path, settings);
  struct rusage usage {};
  const auto start = Clock::now();
  const int status = spawn(hostCommand(hostArgs), hostEnvironment(registryPath), &usage, true);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  checkHostExit(name, status);
  peakKb = usage.ru_maxrss;
  if (cpu) *cpu = cpuSeconds(usage);
  return seconds;
}

// The same, its log read as it is written (--verbose: one line per write), each line stamped.
std::vector<StampedLine> runHostStamped(const std::string& dir, const std::string& name, const std::string& path,
                                        const RunSettings& settings, std::vector<std::string> hostArgs, long& peakKb,
                                        double* cpu = nullptr) {
  const std::string registryPath = writeRegistry(dir, name, path, settings);
  hostArgs.push_back("--verbose");
  struct rusage usage {};
  std::vector<StampedLine> lines;
  checkHostExit(name, spawnReading(hostCommand(hostArgs), hostEnvironment(registryPath), &usage, lines));
  peakKb = usage.ru_maxrss;
  if (cpu) *cpu = cpuSeconds(usage);
  return lines;
}

// The log's texts that open and close a FIFO pass; an echoed line is the time, a space, the text.
constexpr const char* kPassStart = "Sāku FIFO ...";
constexpr const char* kPassEnd = "FIFO piešķiršana pabeigta ";

bool isLogText(const std::string& line, const std::string& text) {
  return line == text ||
         (line.size() > text.size() && line.compare(line.size() - text.size(), text.size(), text) == 0 &&
          line[line.size() - text.size() - 1] == ' ');
}

// Each pass's seconds from its start line to its end line; the rests between passes are left out.
std::vector<double> passSeconds(const std::string& name, const std::vector<StampedLine>& lines) {
  std::vector<double> passes;
  const StampedLine* started = nullptr;
  for (const StampedLine& line : lines) {
    if (isLogText(line.text, kPassStart)) {
      if (started) throw std::runtime_error(name + ": a pass started before the last one ended");
      started = &line;
    } else if (isLogText(line.text, kPassEnd)) {
      if (!started) throw std::runtime_error(name + ": a pass ended that had not started");
      passes.push_back(std::chrono::duration<double>(line.at - started->at).count());
      started = nullptr;
    }
  }
  if (started) throw std::runtime_error(name + ": the last pass did not end");
  return passes;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string passNote(const std::vector<double>& passes) {
  char text[64];
  std::snprintf(text, sizeof text, "pass 1 %.2f s; then", passes[0]);
  std::string note = text;
  for (size_t i = 1; i < passes.size(); ++i) {
    std::snprintf(text, sizeof text, "%s %.2f", i > 1 ? "," : "", passes[i]);
    note += text;
  }
  return note + " s";
}

struct Scenario {
  std::string name;
  std::string title;
  std::string comparedWith;
  std::function<Row()> run;
};

class Bench {
 public:
  Bench(std::string dir, demo::HistoryShape shape) : dir_(std::move(dir)), shape_(shape) {
    yearFirst_ = shape_.lastDay - shape_.days + 1;
    yearLast_ = shape_.lastDay;
    fifoAll_.dateFrom = yearFirst_;
    fifoAll_.dateTo = yearLast_;
    fifoAll_.transfers = fifoAll_.issues = fifoAll_.returns = fifoAll_.balances = kAllAnew;
    idle_ = fifoAll_;
    idle_.transfers = idle_.issues = idle_.returns = idle_.balances = kOnlyWithoutCost;
    average100_ = fifoAll_;
    average100_.dateFrom = yearLast_ - 99;
    month_ = idle_;
    int year, month, day;
    decodeDate(yearLast_, year, month, day);
    month_.dateFrom = makeDate(year, month, 1);
  }

  std::vector<Scenario> scenarios() {
    std::vector<Scenario> list;
    for (bool forced : {true, false}) {
      const std::string fw = forced ? " (forced writes on)" : " (forced writes off)";
      const std::string suffix = forced ? "-sync" : "";
      list.push_back({"floor" + suffix, "write floor" + fw, "", [=, this] { return floor(forced); }});
      list.push_back({"fifo" + suffix, "FIFO pass, mode 2, year, bare steps" + fw, "floor" + suffix,
                      [=, this] { return bareFifo(forced); }});
    }
    list.push_back({"host-fifo", "FIFO pass, mode 2, year, through the host", "fifo", [this] { return hostFifo(); }});
    list.push_back({"host-preview-fifo", "FIFO preview, mode 2, year, through the host", "host-fifo",
                    [this] { return preview(true); }});
    list.push_back(
        {"idle", "idle FIFO pass, mode 1, priced year, bare steps", "floor", [this] { return idle(false); }});
    list.push_back(
        {"host-idle", "idle FIFO pass, mode 1, priced year, through the host", "idle", [this] { return idle(true); }});
    list.push_back({"host-idle-continuous", "idle continuous FIFO pass, mode 1, priced year, through the host",
                    "host-idle", [this] { return continuous("host-idle-continuous", priced(), idle_, 4, false); }});
    list.push_back({"host-report", "unpriced-line report, priced year, through the host", "host-idle",
                    [this] { return report(); }});
    list.push_back({"window-report", "unpriced-line report, priced year, the window's dialog", "host-idle",
                    [this] { return windowReport(); }});
    list.push_back(
        {"average", "weighted average, mode 2, 100 days, bare steps", "floor", [this] { return average(false); }});
    list.push_back({"host-average", "weighted average, mode 2, 100 days, through the host", "average",
                    [this] { return average(true); }});
    list.push_back({"host-preview-average", "weighted-average preview, mode 2, 100 days, host", "host-average",
                    [this] { return preview(false); }});
    list.push_back(
        {"host-explain", "slowest --explain of 100 random lines, priced year, host", "", [this] { return explain(); }});
    list.push_back(
        {"host-month-1y", "one month, mode 1, after 1 year of history, host", "", [this] { return month(1); }});
    list.push_back({"host-month-4y", "one month, mode 1, after 4 years of history, host", "host-month-1y",
                    [this] { return month(4); }});
    list.push_back({"host-month-10y", "one month, mode 1, after 10 years of history, host", "host-month-1y",
                    [this] { return month(10); }});
    list.push_back({"host-month-avg-1y", "weighted average, one month, mode 1, after 1 year, host", "",
                    [this] { return month(1, true); }});
    list.push_back({"host-month-avg-10y", "weighted average, one month, mode 1, after 10 years, host",
                    "host-month-avg-1y", [this] { return month(10, true); }});
    list.push_back({"host-restart-10y", "restarted service: first pass, mode 1, priced 10 years, host",
                    "host-month-10y", [this] { return restart(); }});
    list.push_back({"host-month-10y-continuous", "one month, mode 1, after 10 years, continuous, host",
                    "host-month-10y",
                    [this] { return continuous("host-month-10y-continuous", longer(10), month_, 3, true); }});
    return list;
  }

 private:
  const std::string& master() {
    if (master_.empty()) master_ = make("year", shape_);
    return master_;
  }
  // The year after a mode-2 FIFO pass: what an idle pass meets.
  // Kept in the folder like the masters, so that each --only run of bench/compare prices it once.
  const std::string& priced() {
    if (priced_.empty()) {
      priced_ = madeOnce("priced-year", [this](const std::string& part) {
        fs::copy_file(master(), part);
        setForcedWrites(part, false);
        long ignored = 0;
        inChild(
            "pricing the year", [&] { return runSteps(part, fifoAll_, true); }, ignored);
      });
    }
    return priced_;
  }
  // Ten years with the last month priced: what a service restarted on a priced history meets.
  const std::string& pricedTenYears() {
    if (pricedTenYears_.empty()) {
      pricedTenYears_ = madeOnce("priced-10-years", [this](const std::string& part) {
        fs::copy_file(longer(10), part);
        setForcedWrites(part, false);
        long ignored = 0;
        runHost(dir_, "pricing-10-years", part, month_, {"--passes", "1"}, ignored);
      });
    }
    return pricedTenYears_;
  }
  // A priced master: made under another name until whole, swept (the pass's old record versions
  // are collected long before the next pass comes), and reused when already in the folder.
  std::string madeOnce(const std::string& name, const std::function<void(const std::string&)>& make) {
    const std::string path = dir_ + "/" + name + "-master.fdb";
    if (fs::exists(path)) return path;
    const std::string part = path + ".part.fdb";
    fs::remove(part);
    make(part);
    if (spawn({"gfix", "-user", "SYSDBA", "-sweep", part}, {}, nullptr, false) != 0)
      throw std::runtime_error("gfix -sweep failed on " + part);
    fs::rename(part, path);
    return path;
  }
  const Outcome& yearWork() {
    if (!yearWork_) yearWork_ = periodWork(master(), yearFirst_, yearLast_);
    return *yearWork_;
  }

  // A master already in the folder is taken as it is (made under another name until whole, so an
  // interrupted make is never taken for one).
  std::string make(const std::string& name, demo::HistoryShape shape) {
    const std::string path = dir_ + "/" + name + "-master.fdb";
    if (fs::exists(path)) {
      std::printf("Benchmark database %s: reusing %s (remove it to make it anew)\n", name.c_str(), path.c_str());
      std::fflush(stdout);
      return path;
    }
    const std::string part = path + ".part";
    fs::remove(part);
    const auto made = demo::makeDemoDatabase(part, shape);
    // The demo's blocked days lie in its first days; the host would refuse a period holding them.
    execute(part, "DELETE FROM N_BLOKDIENAS");
    fs::rename(part, path);
    std::printf("Benchmark database %s: %ld lines, %d goods, %d departments, %d days\n", name.c_str(), made.total(),
                shape.goods, shape.departments, shape.days);
    std::fflush(stdout);
    return path;
  }
  std::string copy(const std::string& from, const std::string& name) {
    const std::string path = dir_ + "/" + name + ".fdb";
    fs::copy_file(from, path, fs::copy_options::overwrite_existing);
    setForcedWrites(path, false);
    return path;
  }
  Row bareRow(const std::string& name, const std::function<Outcome()>& work) {
    long peak = 0;
    double cpu = 0;
    auto [seconds, outcome] = inChild(name, work, peak, &cpu);
    Row row{name, "", seconds, outcome, peak, ""};
    row.cpuSeconds = cpu;
    return row;
  }

  Row floor(bool forced) {
    const std::string db = copy(master(), "floor");
    setForcedWrites(db, forced);
    const long updates = yearWork().updates;
    return bareRow("floor", [&] { return writeFloor(db, updates); });
  }
  Row bareFifo(bool forced) {
    const std::string db = copy(master(), "fifo");
    setForcedWrites(db, forced);
    const Outcome work = yearWork();
    return bareRow("fifo", [&] {
      Outcome o = runSteps(db, fifoAll_, true);
      o.lines = work.lines;
      o.updates = work.updates;
      return o;
    });
  }
  Row hostFifo() {
    const std::string db = copy(master(), "host-fifo");
    Row row{"host-fifo", "", 0, yearWork(), 0, ""};
    row.seconds = runHost(dir_, "host-fifo", db, fifoAll_, {}, row.peakKb, &row.cpuSeconds);
    return row;
  }
  Row idle(bool host) {
    const std::string db = copy(priced(), host ? "host-idle" : "idle");
    if (!host) return bareRow("idle", [&] { return runSteps(db, idle_, true); });
    Row row{"host-idle", "", 0, {}, 0, ""};
    row.seconds = runHost(dir_, "host-idle", db, idle_, {"--passes", "1"}, row.peakKb, &row.cpuSeconds);
    return row;
  }
  // Should take no longer than the idle pass.
  Row report() {
    const std::string db = copy(priced(), "host-report");
    Row row{"host-report", "", 0, {}, 0, ""};
    row.seconds = runHost(dir_, "host-report", db, idle_, {"--unpriced-only", dir_ + "/unpriced.csv"}, row.peakKb,
                          &row.cpuSeconds);
    return row;
  }
  // What "Rindas bez pašizmaksas..." does before the dialog shows, as the menu runs it: the read on
  // the reader's thread under the busy box, then the tables, waited for in the window's event loop.
  // The window's creation (the database opened) is not timed.
  Row windowReport() {
    const std::string db = copy(priced(), "window-report");
    const std::string registryPath = writeRegistry(dir_, "window-report", db, idle_);
    long peak = 0;
    double cpu = 0;
    auto [seconds, outcome] = inChild(
        "window-report",
        [&] {
          setenv("TALVIX_REGISTRY", registryPath.c_str(), 1);
          setenv("QT_QPA_PLATFORM", "offscreen", 1);
          int argc = 1;
          char name[] = "run_bench";
          char* argv[] = {name, nullptr};
          QApplication application(argc, argv);
          TAutoIepCenSad window;
          window.FormCreate();
          if (!window.databaseOpen()) throw std::runtime_error("the window did not open " + db);
          window.show();
          const auto start = std::chrono::steady_clock::now();
          window.showUnpricedLines();
          if (!window.unpricedBusy()) throw std::runtime_error("the window did not start reading " + db);
          while (!window.unpricedShown() && window.unpricedBusy())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
          Outcome o;
          o.ownSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
          if (!window.unpricedShown()) throw std::runtime_error("the window showed no dialog for " + db);
          o.lines = window.unpricedShown()->lines->model()->rowCount();
          return o;
        },
        peak, &cpu);
    Row row{"window-report", "", seconds, outcome, peak, ""};
    row.cpuSeconds = cpu;  // the window's creation included
    return row;
  }
  Row average(bool host) {
    const std::string db = copy(master(), host ? "host-average" : "average");
    const Outcome work = periodWork(db, average100_.firstDay(), average100_.lastDay());
    if (!host) {
      Row row = bareRow("average", [&] { return runSteps(db, average100_, false); });
      row.outcome.lines = work.lines;
      return row;
    }
    execute(db, "UPDATE N_ISI SET ISIFIFO = 0");
    Row row{"host-average", "", 0, work, 0, ""};
    row.seconds = runHost(dir_, "host-average", db, average100_, {}, row.peakKb, &row.cpuSeconds);
    return row;
  }
  // What the real mode-2 run would write, kept nowhere: beside host-fifo or host-average.
  Row preview(bool fifo) {
    const std::string name = fifo ? "host-preview-fifo" : "host-preview-average";
    const std::string db = copy(master(), name);
    const RunSettings& settings = fifo ? fifoAll_ : average100_;
    Row row{name, "", 0, periodWork(db, settings.firstDay(), settings.lastDay()), 0, ""};
    if (!fifo) execute(db, "UPDATE N_ISI SET ISIFIFO = 0");
    row.seconds =
        runHost(dir_, name, db, settings, {"--preview", dir_ + "/" + name + ".csv"}, row.peakKb, &row.cpuSeconds);
    return row;
  }
  // Each start of the host opens the database and the window too: that is what a user waits for.
  Row explain() {
    const std::string db = copy(priced(), "host-explain");
    constexpr const char* kKinds[] = {"transfer", "issue", "return", "balance"};
    constexpr const char* kTables[] = {"O_PARPRC", "O_PRCOUT", "O_ATGPRC", "O_PRATL_PRC"};
    std::vector<std::string> lines;
    {
      Connection c;
      c.setDatabaseName(db);
      c.open();
      for (int kind = 0; kind < 4; ++kind) {
        Query q(c);
        q.setSql(std::string("SELECT ISN FROM ") + kTables[kind] + " ORDER BY ISN");
        q.open();
        for (q.first(); !q.eof(); q.next()) lines.push_back(std::string(kKinds[kind]) + ":" + q.asString(0));
      }
    }
    std::uint64_t state = 20261207;  // the same 100 lines every time
    Row row{"host-explain", "", 0, {}, 0, ""};
    for (int i = 0; i < 100; ++i) {
      state = state * 6364136223846793005ULL + 1442695040888963407ULL;
      const std::string& line = lines[(state >> 33) % lines.size()];
      long peak = 0;
      double cpu = 0;
      const double seconds = runHost(dir_, "host-explain", db, idle_, {"--explain", line}, peak, &cpu);
      row.cpuSeconds = std::max(row.cpuSeconds, cpu);
      if (seconds > row.seconds) row.title = line;
      row.seconds = std::max(row.seconds, seconds);
      row.peakKb = std::max(row.peakKb, peak);
      ++row.outcome.lines;
    }
    std::printf("  slowest --explain: %s\n", row.title.c_str());
    return row;
  }
  // The shop's history over more years, ending on the same day.
  const std::string& longer(int years) {
    if (years == 1) return master();
    std::string& master = longer_[years];
    if (master.empty()) {
      demo::HistoryShape longer = shape_;
      longer.days = shape_.days * years;
      longer.lines = shape_.lines * years;
      master = make(std::to_string(years) + "-years", longer);
    }
    return master;
  }
  // The same history serves both methods: the database's method switch is all that differs.
  Row month(int years, bool average = false) {
    const std::string& master = longer(years);
    const std::string name = std::string(average ? "host-month-avg-" : "host-month-") + std::to_string(years) + "y";
    const std::string db = copy(master, name);
    if (average) execute(db, "UPDATE N_ISI SET ISIFIFO = 0");
    Row row{name, "", 0, periodWork(db, month_.firstDay(), month_.lastDay()), 0, ""};
    row.seconds = runHost(dir_, name, db, month_, {"--passes", "1"}, row.peakKb, &row.cpuSeconds);
    return row;
  }

  // A continuous run's first pass on a priced history: what a restarted service costs before it can
  // price the first sale; from the start of the host to its exit after that pass.
  Row restart() {
    const std::string db = copy(pricedTenYears(), "host-restart-10y");
    Row row{"host-restart-10y", "", 0, {}, 0, ""};
    row.seconds = runHost(dir_, "host-restart-10y", db, month_, {"--passes", "1"}, row.peakKb, &row.cpuSeconds);
    return row;
  }

  // A continuous run of the given passes, each pass timed from its log lines: the seconds are the
  // median of the passes after the first, which is the only one that starts from nothing read.
  // Lines: the period's, when counted.
  Row continuous(const std::string& name, const std::string& from, const RunSettings& settings, int passes,
                 bool countLines) {
    const std::string db = copy(from, name);
    Row row{name, "", 0, {}, 0, ""};
    if (countLines) row.outcome = periodWork(db, settings.firstDay(), settings.lastDay());
    const auto lines =
        runHostStamped(dir_, name, db, settings, {"--passes", std::to_string(passes)}, row.peakKb, &row.cpuSeconds);
    const std::vector<double> timed = passSeconds(name, lines);
    if (static_cast<int>(timed.size()) != passes)
      throw std::runtime_error(name + ": " + std::to_string(timed.size()) + " passes ended, not " +
                               std::to_string(passes));
    row.seconds = median({timed.begin() + 1, timed.end()});
    row.note = passNote(timed);
    return row;
  }

  std::string dir_;
  demo::HistoryShape shape_;
  DateTime yearFirst_ = 0, yearLast_ = 0;
  RunSettings fifoAll_, idle_, average100_, month_;
  std::string master_, priced_, pricedTenYears_;
  std::map<int, std::string> longer_;  // years -> master
  std::optional<Outcome> yearWork_;
};

void printTable(const std::vector<Row>& rows) {
  std::printf("\n%-64s %9s %8s %9s %9s %8s %-14s %9s %8s  %s\n", "scenario", "seconds", "CPU s", "lines", "lines/s",
              "ratio", "compared with", "calls", "peak MB", "note");
  std::map<std::string, double> seconds;
  for (const Row& r : rows) seconds[r.name] = r.seconds;
  for (const Row& r : rows) {
    const double rate = r.seconds > 0 ? r.outcome.lines / r.seconds : 0;
    const auto base = seconds.find(r.comparedWith);
    const bool compared = base != seconds.end() && base->second > 0;
    std::printf("%-64s %9.2f %8.2f %9ld %9.0f %8s %-14s %9ld %8.1f  %s\n", r.title.c_str(), r.seconds, r.cpuSeconds,
                r.outcome.lines, rate, compared ? std::to_string(r.seconds / base->second).substr(0, 5).c_str() : "",
                compared ? r.comparedWith.c_str() : "", r.outcome.calls, r.peakKb / 1024.0, r.note.c_str());
  }
}

// One line per row for bench/compare: name, seconds, CPU seconds, peak KB, by tabs.
void writeResults(const std::string& path, const std::vector<Row>& rows) {
  std::ofstream out(path, std::ios::app);
  for (const Row& r : rows) out << r.name << '\t' << r.seconds << '\t' << r.cpuSeconds << '\t' << r.peakKb << '\n';
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
  demo::HistoryShape shape;
  shape.goods = 2000;
  shape.departments = 8;
  shape.days = 365;
  shape.lines = 270000;  // some drawn lines find no stock; this lands near 250,000
  shape.lastDay = makeDate(2026, 12, 31);
  std::string dir, results;
  std::vector<std::string> only;
  bool list = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--lines" && i + 1 < argc)
      shape.lines = std::stol(argv[++i]);
    else if (arg == "--goods" && i + 1 < argc)
      shape.goods = std::stoi(argv[++i]);
    else if (arg == "--dir" && i + 1 < argc)
      dir = argv[++i];
    else if (arg == "--only" && i + 1 < argc)
      only.push_back(argv[++i]);
    else if (arg == "--results" && i + 1 < argc)
      results = argv[++i];
    else if (arg == "--list")
      list = true;
    else {
      std::fprintf(stderr,
                   "usage: run_bench [--only NAME]... [--lines N] [--goods N] [--dir DIR] [--results FILE] [--list]\n");
      return 2;
    }
  }
  // A private folder unless one is named; it holds copies of the database, never shared.
  const bool ownDir = dir.empty();
  if (ownDir) {
    std::string pattern = (fs::temp_directory_path() / "run_bench.XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
      std::perror("run_bench: mkdtemp");
      return 1;
    }
    dir = pattern;
  } else {
    fs::create_directories(dir);
  }

  Bench bench(dir, shape);
  std::vector<Scenario> scenarios = bench.scenarios();
  if (list) {
    for (const Scenario& s : scenarios) std::printf("%-26s %s\n", s.name.c_str(), s.title.c_str());
    return 0;
  }
  for (const std::string& name : only) {
    bool known = false;
    for (const Scenario& s : scenarios) known = known || s.name == name;
    if (!known) {
      std::fprintf(stderr, "run_bench: no scenario %s (see --list)\n", name.c_str());
      return 2;
    }
  }
  std::vector<Row> rows;
  int status = 0;
  try {
    for (const Scenario& s : scenarios) {
      if (!only.empty() && std::find(only.begin(), only.end(), s.name) == only.end()) continue;
      Row row = s.run();
      row.name = s.name;
      row.title = s.title;
      row.comparedWith = s.comparedWith;
      std::printf("  %-62s %8.2f s  %s\n", s.title.c_str(), row.seconds, row.note.c_str());
      std::fflush(stdout);
      rows.push_back(row);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "run_bench: %s\n", error.what());
    status = 1;
  }
  printTable(rows);
  if (!results.empty()) {
    try {
      writeResults(results, rows);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "run_bench: %s\n", error.what());
      status = 1;
    }
  }
  std::printf(
      "\nThe floor writes as many single-row updates, each committed, as the year's mode-2 FIFO pass does"
      " (its resets of transfers and issues, then every line). The ratio compares with the named row.\n");
  if (ownDir) fs::remove_all(dir);
  return status;
}
