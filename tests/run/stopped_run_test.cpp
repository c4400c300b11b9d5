// A run that resets costs, stopped part way however it is stopped (the stop request the window's
// Escape sends, SIGTERM or SIGKILL to the real host), leaves every line with the cost it held before
// the run or the cost the whole run gives it, bit for bit, and says how far it got; the host exits
// with its own status. Each history is priced once and then has a fifth of its receipts repriced,
// so the run changes most costs; the stop points are writes of the log of an uninterrupted run.
#include "data/query.h"
#include "pricing/library.h"
#include "registry/memory_registry_store.h"
#include "run/dispatcher.h"
#include "run/fifo_run.h"
#include "step/stop_request.h"
#include "support/host_registry.h"
#include "support/host_run.h"
#include "support/temp_dir.h"
#include "tools/demo/demo_history.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#ifdef AUTOIEPCENSAD_RUN
namespace talvix::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kCostColumns[][2] = {
    {"O_PARPRC", "CENA"}, {"O_PRCOUT", "IEP_CENA"}, {"O_ATGPRC", "IEP_CENA"}, {"O_PRATL_PRC", "IEP_CENA"}};
constexpr int kExitStopped = 5;
constexpr const char* kStoppedBefore = "Apturēts pirms beigām";
constexpr const char* kNothingKept = "nekas nav mainīts";

// Table and line key -> the cost as stored (NULL as nullopt).
using Costs = std::map<std::pair<int, int>, std::optional<double>>;

Costs costsOf(const std::string& path) {
  Connection c;
  c.setDatabaseName(path);
  c.open();
  Costs costs;
  for (int t = 0; t < 4; ++t) {
    Query q(c);
    q.setSql(std::string("SELECT ISN, ") + kCostColumns[t][1] + " FROM " + kCostColumns[t][0]);
    q.open();
    for (q.first(); !q.eof(); q.next())
      costs[{t, q.asInteger(0)}] = q.isNull(1) ? std::nullopt : std::optional<double>(q.asDouble(1));
  }
  return costs;
}

void execute(const std::string& path, const std::string& sql) {
  Connection c;
  c.setDatabaseName(path);
  c.open();
  c.executeImmediate(sql);
  c.defaultTransaction().commit();
}

class QuietHost : public DispatcherHost {
 public:
  void SaveSettings() override {}
  void showMessage(const std::string& text) override { messages.push_back(text); }
  std::vector<std::string> messages;
};

// Every write of the log, and a stop asked for at one of them.
class StoppingLog : public ProgressLog {
 public:
  void AddProcessLine(const std::string& text, bool) override {
    writes.push_back(text);
    if (stopAt && writes.size() == *stopAt + 1) requestStop();
  }
  void repaintWindow() override {}
  std::optional<std::size_t> stopAt;
  std::vector<std::string> writes;
};

// A run through the dispatcher on the file, as the window's button starts it; stopped when asked.
std::vector<std::string> runInProcess(const std::string& path, const RunSettings& settings,
                                      std::optional<std::size_t> stopAt) {
  auto library = pricing::MainFormDatiDll();
  library->mainFormDati().PRECES_DB.setDatabaseName(path);
  library->mainFormDati().connect();
  StoppingLog log;
  log.stopAt = stopAt;
  MemoryRegistryStore registry;
  ThreadSleeper sleeper;
  SessionState state;
  QuietHost host;
  RunContext ctx{settings, *library, log, registry, sleeper, state, &host};
  try {
    runCosting(ctx);
  } catch (const RunStopped&) {
  }
  library->mainFormDati().PRECES_DB.close();
  return log.writes;
}

enum class Method { Fifo, Average };
enum class Stop { Request, Sigterm, Sigkill };

struct Config {
  const char* name;
  Method method;
  std::map<DocumentKind, int> modes;  // kinds not named are skipped
};

// A history priced once, a fifth of its receipts repriced since, and what a whole run gives it.
struct History {
  RunSettings settings;
  std::string before;
  Costs old, whole;
  std::vector<std::string> writes;  // the uninterrupted run's log
};

class StoppedRunTest : public ::testing::Test {
 protected:
  History& history(const Config& config) {
    auto& made = histories_[config.name];
    if (made) return *made;
    made = std::make_unique<History>();
    demo::HistoryShape shape;
    shape.goods = 30;
    shape.departments = 3;
    shape.days = 40;
    shape.lines = 2500;
    shape.lastDay = makeDate(2026, 3, 31);
    shape.fifoMethod = config.method == Method::Fifo ? 1 : 0;
    made->before = dir_.file(std::string(config.name) + "-before.fdb");
    demo::makeDemoDatabase(made->before, shape);
    execute(made->before, "DELETE FROM N_BLOKDIENAS");  // the host refuses a period holding them
    RunSettings& s = made->settings;
    s.dateFrom = shape.lastDay - shape.days + 1;
    s.dateTo = shape.lastDay;
    for (const DocumentKind kind : kAllKinds) s.mode(kind) = kAllAnew;
    runInProcess(made->before, s, std::nullopt);
    execute(made->before, "UPDATE O_PRECE SET CENA = CENA * 1.25 + 0.01 WHERE MOD(ISN, 5) = 0");
    for (const DocumentKind kind : kAllKinds) {
      const auto mode = config.modes.find(kind);
      s.mode(kind) = mode == config.modes.end() ? kSkip : mode->second;
    }
    made->old = costsOf(made->before);
    const std::string whole = copy(made->before, std::string(config.name) + "-whole.fdb");
    made->writes = runInProcess(whole, s, std::nullopt);
    made->whole = costsOf(whole);
    return *made;
  }

  std::string copy(const std::string& from, const std::string& name) {
    const std::string to = dir_.file(name);
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    return to;
  }

  std::string registryFor(const std::string& path, const RunSettings& s) {
    const std::string file = dir_.file("registry.reg");
    std::filesystem::remove(file);
    writeHostRegistry(file, path, s.dateFrom, s.dateTo,
                      {{"PedejaCena", 0},
                       {"ParvIzrakst1PardCena", 0},
                       {"PakalpojumusNe", 0},
                       {"IMEI", 0},
                       {"ParvietosanaChk", s.transfers},
                       {"IzrakstisanaChk", s.issues},
                       {"AtgriesanaChk", s.returns},
                       {"AtlikumiChk", s.balances}});
    return file;
  }

  TempDir dir_;
  std::map<std::string, std::unique_ptr<History>> histories_;
};

// Where in the uninterrupted run's log a stop falls: the index of a write, nullopt when the run has none.
using StopPoint = std::function<std::optional<std::size_t>(const std::vector<std::string>&)>;

std::optional<std::pair<int, int>> counterOf(const std::string& text) {
  int n = 0, total = 0;
  char rest = 0;
  if (std::sscanf(text.c_str(), "%d/%d%c", &n, &total, &rest) != 2) return std::nullopt;
  return std::pair{n, total};
}

// The n-th heading of a kind (from 1): the kinds before it have reset their lines.
StopPoint heading(int n) {
  return [n](const std::vector<std::string>& writes) -> std::optional<std::size_t> {
    int seen = 0;
    for (std::size_t i = 0; i < writes.size(); ++i)
      if (writes[i].rfind("Aprēķinu ", 0) == 0 && ++seen == n) return i;
    return std::nullopt;
  };
}

// The second "Dzēšu n": the first line reset one by one is written.
StopPoint secondLineReset() {
  return [](const std::vector<std::string>& writes) -> std::optional<std::size_t> {
    for (std::size_t i = 0; i < writes.size(); ++i)
      if (writes[i].rfind("Dzēšu ", 0) == 0 && writes[i] != "Dzēšu 0" && writes[i] != "Dzēšu 1") return i;
    return std::nullopt;
  };
}

// The counter at a share of the lines (1.0: the last line, in the last day).
StopPoint counterAt(double share) {
  return [share](const std::vector<std::string>& writes) -> std::optional<std::size_t> {
    for (std::size_t i = 0; i < writes.size(); ++i)
      if (const auto c = counterOf(writes[i]); c && c->second > 1 && c->first >= share * c->second) return i;
    return std::nullopt;
  };
}

// The first write after the last counter: the passes' closing lines, before the run's commit.
StopPoint afterLastLine() {
  return [](const std::vector<std::string>& writes) -> std::optional<std::size_t> {
    std::optional<std::size_t> last;
    for (std::size_t i = 0; i < writes.size(); ++i)
      if (counterOf(writes[i])) last = i;
    if (!last || *last + 1 >= writes.size()) return std::nullopt;
    return *last + 1;
  };
}

const Config kFifoAll{"fifo-all",
                      Method::Fifo,
                      {{DocumentKind::Transfer, kAllAnew},
                       {DocumentKind::Issue, kAllAnew},
                       {DocumentKind::Return, kAllAnew},
                       {DocumentKind::Balance, kAllAnew}}};
const Config kFifoSome{
    "fifo-some",
    Method::Fifo,
    {{DocumentKind::Transfer, kOnlyWithoutCost}, {DocumentKind::Issue, kAllAnew}, {DocumentKind::Return, kAllAnew}}};
const Config kAverageAll{"average-all",
                         Method::Average,
                         {{DocumentKind::Transfer, kAllAnew},
                          {DocumentKind::Issue, kAllAnew},
                          {DocumentKind::Return, kAllAnew},
                          {DocumentKind::Balance, kAllAnew}}};
const Config kAverageSome{
    "average-some", Method::Average, {{DocumentKind::Transfer, kAllAnew}, {DocumentKind::Balance, kAllAnew}}};

struct StopRow {
  const Config* config;
  Stop stop;
  const char* where;
  StopPoint point;
  bool mustStop = true;  // the run looks for a stop after the point
};

const StopRow kStops[] = {
    {&kFifoAll, Stop::Request, "after the first kind's reset", heading(2)},
    {&kFifoAll, Stop::Request, "in the third kind's reset", heading(3)},
    {&kFifoAll, Stop::Request, "after every reset", heading(4)},
    {&kFifoAll, Stop::Request, "at the first line", counterAt(0.0)},
    {&kFifoAll, Stop::Request, "a third of the lines", counterAt(0.33)},
    {&kFifoAll, Stop::Request, "two thirds of the lines", counterAt(0.66)},
    {&kFifoAll, Stop::Request, "in the last day", counterAt(1.0)},
    {&kFifoAll, Stop::Request, "at the closing lines", afterLastLine(), false},
    {&kFifoSome, Stop::Request, "after the issues' reset", heading(3)},
    {&kFifoSome, Stop::Request, "half of the lines", counterAt(0.5)},
    {&kAverageAll, Stop::Request, "the first line reset one by one", secondLineReset()},
    {&kAverageAll, Stop::Request, "after every reset", heading(1)},
    {&kAverageAll, Stop::Request, "a quarter of the lines", counterAt(0.25)},
    {&kAverageAll, Stop::Request, "three quarters of the lines", counterAt(0.75)},
    {&kAverageAll, Stop::Request, "in the last day", counterAt(1.0)},
    {&kAverageSome, Stop::Request, "half of the lines", counterAt(0.5)},
    {&kAverageSome, Stop::Request, "at the closing lines", afterLastLine(), false},
    {&kFifoAll, Stop::Sigterm, "after the first kind's reset", heading(2)},
    {&kFifoAll, Stop::Sigterm, "a third of the lines", counterAt(0.33)},
    {&kFifoAll, Stop::Sigterm, "two thirds of the lines", counterAt(0.66)},
    {&kFifoSome, Stop::Sigterm, "half of the lines", counterAt(0.5)},
    {&kAverageAll, Stop::Sigterm, "the first line reset one by one", secondLineReset()},
    {&kAverageAll, Stop::Sigterm, "half of the lines", counterAt(0.5)},
    {&kFifoAll, Stop::Sigkill, "after the first kind's reset", heading(2)},
    {&kFifoAll, Stop::Sigkill, "a third of the lines", counterAt(0.33)},
    {&kFifoAll, Stop::Sigkill, "in the last day", counterAt(0.97)},
    {&kFifoSome, Stop::Sigkill, "half of the lines", counterAt(0.5)},
    {&kAverageAll, Stop::Sigkill, "the first line reset one by one", secondLineReset()},
    {&kAverageAll, Stop::Sigkill, "half of the lines", counterAt(0.5)},
    {&kAverageSome, Stop::Sigkill, "in the last day", counterAt(0.97)},
};

const char* stopName(Stop stop) {
  switch (stop) {
    case Stop::Request: return "stop request";
    case Stop::Sigterm: return "SIGTERM to the host";
    case Stop::Sigkill: return "SIGKILL to the host";
  }
  return "";
}

TEST_F(StoppedRunTest, EveryLineHoldsItsOldCostOrTheWholeRunsCost) {
  long checked = 0, neither = 0, changedByTheRun = 0;
  for (const StopRow& row : kStops) {
    const std::string label = std::string(row.config->name) + ", " + stopName(row.stop) + ", " + row.where;
    SCOPED_TRACE(label);
    History& h = history(*row.config);
    const std::optional<std::size_t> at = row.point(h.writes);
    ASSERT_TRUE(at) << "the uninterrupted run has no such write";
    const std::string path = copy(h.before, "stopped.fdb");
    std::vector<std::string> log;
    if (row.stop == Stop::Request) {
      log = runInProcess(path, h.settings, at);
    } else {
      HostRun run(registryFor(path, h.settings), {"--verbose"});
      // The host writes the same lines, and its own before them.
      const auto reached = run.waitForText(h.writes[*at], 300s);
      ASSERT_TRUE(reached) << printable(run.texts());
      run.signal(row.stop == Stop::Sigterm ? SIGTERM : SIGKILL);
      const auto status = run.waitExit(120s);
      ASSERT_TRUE(status) << printable(run.texts());
      log = run.texts();
      if (row.stop == Stop::Sigkill) {
        EXPECT_EQ(*status, 128 + SIGKILL);
      } else if (log.back() == kProcessStopped) {
        EXPECT_EQ(*status, kExitStopped) << run.errors();
      } else {
        EXPECT_EQ(*status, 0) << "the run ended before the signal was taken\n" << printable(log);
      }
    }
    if (row.stop != Stop::Sigkill) {
      ASSERT_FALSE(log.empty());
      // A stop asked for after the last line is a run that ended: it must then hold every new cost.
      const bool ended = log.back() != kProcessStopped;
      if (row.stop == Stop::Request && ended) {
        EXPECT_EQ(costsOf(path), h.whole) << "the run ended before the stop";
      }
      if (row.stop == Stop::Request && row.mustStop) {
        EXPECT_FALSE(ended) << printable(log, 5);
      }
      if (log.back() == kProcessStopped) {
        ASSERT_GE(log.size(), 2u);
        const std::string& note = log[log.size() - 2];
        EXPECT_EQ(note.rfind(kStoppedBefore, 0), 0u) << printable(log);
        EXPECT_NE(note.find(kNothingKept), std::string::npos) << note;
      }
    }
    const Costs now = costsOf(path);
    ASSERT_EQ(now.size(), h.old.size());
    long rowNeither = 0;
    for (const auto& [key, cost] : now) {
      ++checked;
      const std::optional<double>& old = h.old.at(key);
      const std::optional<double>& whole = h.whole.at(key);
      if (old != whole) ++changedByTheRun;
      if (cost != old && cost != whole) ++rowNeither;
    }
    neither += rowNeither;
    EXPECT_EQ(rowNeither, 0) << "lines holding neither their old cost nor the whole run's";
    std::printf("%-70s neither old nor new: %ld of %zu\n", label.c_str(), rowNeither, now.size());
  }
  RecordProperty("lines_checked", static_cast<int>(checked));
  RecordProperty("lines_the_run_changes", static_cast<int>(changedByTheRun));
  RecordProperty("lines_neither_old_nor_new", static_cast<int>(neither));
  std::printf("lines checked %ld, of them changed by the whole run %ld, neither old nor new %ld\n", checked,
              changedByTheRun, neither);
  EXPECT_GT(changedByTheRun, checked / 4) << "the history does not make the run change many costs";
}

}  // namespace
}  // namespace talvix::test
#endif
