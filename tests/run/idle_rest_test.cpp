// The rest between continuous FIFO passes: when it comes, how long it lasts, what ends it.
#include "run/idle_rest.h"
#include "pricing/library.h"
#include "registry/registry_store.h"
#include "run/dispatcher.h"
#include "step/stop_request.h"
#include "support/run_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace talvix::test {
namespace {

using Trace = std::vector<std::string>;

DateTime feb(int d) { return makeDate(2026, 2, d); }
DateTime mar(int d) { return makeDate(2026, 3, d); }

constexpr char kPassDone[] = "FIFO piešķiršana pabeigta ";

// The run as a trace: "pass" for each finished pass, "rest N" for the milliseconds slept between
// two passes. Stops the run when the given pass ends; atSleep acts at each wait (its 1-based number).
struct TracingParts : ProgressLog, Sleeper {
  void AddProcessLine(const std::string& text, bool replaceLast) override {
    if (replaceLast && !lines.empty())
      lines.back() = text;
    else
      lines.push_back(text);
    if (text != kPassDone) return;
    trace.push_back("pass");
    if (++passes == stopAfterPass) requestStop();
  }
  void repaintWindow() override {}
  void sleepMilliseconds(int milliseconds) override {
    if (trace.empty() || trace.back().rfind("rest ", 0) != 0) trace.push_back("rest 0");
    trace.back() = "rest " + std::to_string(std::stoi(trace.back().substr(5)) + milliseconds);
    ++sleeps;
    if (atSleep) atSleep(sleeps);
  }

  int stopAfterPass = 3;
  int passes = 0;
  int sleeps = 0;
  std::function<void(int sleep)> atSleep;
  Trace trace;
  std::vector<std::string> lines;
};

// The count a test makes up: call n (from 1) answers values(n).
class ScriptedOperations : public RecordOperations {
 public:
  explicit ScriptedOperations(std::function<std::optional<std::int64_t>(int call)> values)
      : values_(std::move(values)) {}
  std::optional<std::int64_t> count() override { return values_(++calls_); }

 private:
  std::function<std::optional<std::int64_t>(int)> values_;
  int calls_ = 0;
};

struct Host : DispatcherHost {
  void SaveSettings() override {}
  void showMessage(const std::string& text) override { ADD_FAILURE() << text; }
};

struct Case {
  const char* name;
  bool lineToPrice;  // one sale without cost, priced by the first pass
  std::function<std::optional<std::int64_t>(int call)> count;
  Trace expected;
};

// Each pass reads the count at its start and end; a rest reads it every 250 ms.
const std::vector<Case> kCases = {
    {"nothing written, nothing changes: rests to the limit, doubling",
     false,
     [](int) { return std::int64_t{7}; },
     {"pass", "rest 500", "pass", "rest 1000", "pass"}},
    {"a pass that wrote starts the next at once, and the limit starts over",
     true,
     [](int) { return std::int64_t{7}; },
     {"pass", "pass", "rest 500", "pass"}},
    {"others wrote during each pass: no rest",
     false,
     [](int call) { return std::int64_t{call * 10}; },
     {"pass", "pass", "pass"}},
    {"the count moves during a rest: the rest ends at the next look",
     false,
     [](int call) { return std::int64_t{call >= 3 ? 5 : 0}; },
     {"pass", "rest 250", "pass", "rest 1000", "pass"}},
    {"no count (no rights, old server): rests to the limit",
     false,
     [](int) { return std::optional<std::int64_t>{}; },
     {"pass", "rest 500", "pass", "rest 1000", "pass"}},
};

TEST(IdleRest, FollowsOnlyAPassThatWroteNoCostAndEndsWhenTheCountMoves) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    RunFixture f;
    f.db.setFifo(1);
    f.period(mar(1), mar(31));
    f.settings.issues = kOnlyWithoutCost;
    if (c.lineToPrice) f.db.issue({.date = mar(5), .goods = f.db.goods(), .qty = 1, .cost = std::nullopt});
    TracingParts parts;
    ScriptedOperations operations(c.count);
    Host host;
    RunContext ctx{f.settings, f.pricing, parts, f.registry, parts, f.state, &host, &operations};
    EXPECT_THROW(runCosting(ctx), RunStopped);
    EXPECT_EQ(parts.trace, c.expected);
  }
}

TEST(IdleRest, AStopRequestEndsARestAtOnce) {
  RunFixture f;
  f.db.setFifo(1);
  f.period(mar(1), mar(31));
  f.settings.issues = kOnlyWithoutCost;
  TracingParts parts;
  parts.stopAfterPass = 0;
  parts.atSleep = [](int sleep) {
    if (sleep == 2) requestStop();
  };
  ScriptedOperations operations([](int) { return std::int64_t{7}; });
  Host host;
  RunContext ctx{f.settings, f.pricing, parts, f.registry, parts, f.state, &host, &operations};
  EXPECT_THROW(runCosting(ctx), RunStopped);
  EXPECT_EQ(parts.trace, (Trace{"pass", "rest 250"}));
  EXPECT_EQ(parts.lines.back(), kProcessStopped);
}

// A continuous run of issues "only without cost" in March on the real library and the real count.
struct RealLoop {
  explicit RealLoop(TestDatabase& db) : library(pricing::MainFormDatiDll()), registry(db.dir().file("registry.reg")) {
    library->mainFormDati().PRECES_DB.setDatabaseName(db.path());
    library->mainFormDati().connect();
    settings.dateFrom = mar(1);
    settings.dateTo = mar(31);
    settings.issues = kOnlyWithoutCost;
  }
  void run() {
    RunContext ctx{settings, *library, parts, registry, parts, state, &host};
    EXPECT_THROW(runCosting(ctx), RunStopped);
    clearStopRequest();
  }
  std::unique_ptr<PricingLibrary> library;
  RegFileStore registry;
  RunSettings settings;
  SessionState state;
  TracingParts parts;
  Host host;
};

// The first pass's look finds no change by nature: it is paid after the pass has priced, and not
// at all by a run that ends with that pass; the second pass's look still starts from its base.
TEST(IdleRest, TheFirstLookWaitsForThePassToEnd) {
  constexpr int kTables = static_cast<int>(std::size(kWatchedTables));
  // passes -> tables the last look learnt without reading them whole
  for (const auto& [passes, learnt] : {std::pair{1, 0}, std::pair{2, kTables}}) {
    SCOPED_TRACE(passes);
    TestDatabase db;
    db.setFifo(1);
    db.issue({.date = mar(5), .goods = db.goods(), .qty = 1});
    RealLoop loop(db);
    loop.parts.stopAfterPass = passes;
    loop.run();
    EXPECT_EQ(loop.parts.passes, passes);
    const LookReads& reads = loop.state.watch.lastReads();
    EXPECT_EQ(reads.scanned, 0);
    EXPECT_EQ(reads.kept + reads.newRows + reads.window, learnt);
  }
}

// The real library and the real count: another attachment commits while the run rests.
struct Arrival {
  const char* name;
  std::function<int(TestDatabase& db, int goods)> before;  // returns the line to watch, or 0
  std::function<int(TestDatabase& db, int goods)> during;  // returns the line to watch, or 0
};

TEST(IdleRest, ALineCommittedByAnotherProgramEndsTheRestAndIsPriced) {
  const std::vector<Arrival> arrivals = {
      {"a sale line",
       [](TestDatabase& db, int g) {
         db.receipt({.date = feb(20), .goods = g, .qty = 10, .price = 4});
         db.issue({.date = mar(5), .goods = g, .qty = 3, .cost = std::nullopt});
         return 0;
       },
       [](TestDatabase& db, int g) { return db.issue({.date = mar(6), .goods = g, .qty = 2, .cost = std::nullopt}); }},
      {"a receipt for a sale stuck without cost",
       [](TestDatabase& db, int g) { return db.issue({.date = mar(5), .goods = g, .qty = 3}); },
       [](TestDatabase& db, int g) {
         db.receipt({.date = feb(20), .goods = g, .qty = 10, .price = 4});
         return 0;
       }},
  };
  for (const Arrival& arrival : arrivals) {
    SCOPED_TRACE(arrival.name);
    TestDatabase db;
    db.setFifo(1);
    const int g = db.goods();
    int watched = arrival.before(db, g);
    RealLoop loop(db);
    TracingParts& parts = loop.parts;
    parts.atSleep = [&](int sleep) {
      if (sleep == 1) {
        const int line = arrival.during(db, g);
        if (line) watched = line;
      }
    };
    loop.run();
    ASSERT_FALSE(parts.trace.empty());
    const Trace rested(parts.trace.begin(), parts.trace.end() - 1);
    // The pass before the arrival wrote nothing; the rest ends at its first look, not at 500 ms.
    EXPECT_EQ(parts.trace.back(), "pass");
    EXPECT_NE(std::find(rested.begin(), rested.end(), "rest 250"), rested.end())
        << ::testing::PrintToString(parts.trace);
    EXPECT_NEAR(db.issueCost(watched), 4.0, 1e-9);
  }
}

// Another program writes a sale in one rest and commits it in a later one: the count moved long
// before the line could be seen, so only the writer's transaction ending can end the later rest.
TEST(IdleRest, ASaleCommittedLongAfterItWasWrittenEndsTheRestWhenItsTransactionEnds) {
  TestDatabase db;
  db.setFifo(1);
  const int g = db.goods();
  db.receipt({.date = feb(20), .goods = g, .qty = 10, .price = 4});
  Connection writer;
  writer.setDatabaseName(db.path());
  writer.open();
  RealLoop loop(db);
  TracingParts& parts = loop.parts;
  parts.stopAfterPass = 4;
  int committedAtSleep = 0;
  parts.atSleep = [&](int sleep) {
    if (sleep == 1) {
      const test::KindRows sale = test::kindRows(DocumentKind::Issue, 9001, makeDate(2026, 3, 6), 1, 9002, g, 2, 0);
      sale.header.exec(writer);
      sale.line.exec(writer);
    }
    // Well past the plain back-off's limits, so only the transaction's end can have ended the rest.
    if (parts.passes == 2 && !committedAtSleep && parts.trace.back() == "rest 3000") {
      writer.defaultTransaction().commit();
      committedAtSleep = sleep;
    }
  };
  loop.run();
  ASSERT_NE(committedAtSleep, 0) << ::testing::PrintToString(parts.trace);
  // pass, rest ended by the count, pass that saw nothing yet, rest ended by the commit, pass.
  ASSERT_GE(parts.trace.size(), 5u) << ::testing::PrintToString(parts.trace);
  EXPECT_EQ(parts.trace[3], "rest 3000") << ::testing::PrintToString(parts.trace);
  EXPECT_NEAR(db.issueCost(9002), 4.0, 1e-9);
}

// Given the watch, the top of the windows is asked after 250, 500, 1000, 1000 ... ms and the deep
// question (here the count and open writers) after 1, 2, 4, 8 s: a sale shows at the next look of the
// top, an edit of old history at the next deep one, and after a change the top is asked at 250 ms
// again. The top is each table's newest key here, so the old receipt line lies under it.
TEST(IdleRest, AsksTheTopOftenAndTheDepthSeldomLessOftenWhileNothingHappens) {
  enum class Change { Sale, OldReceipt, OldReceiptCommittedInTheNextRest };
  struct Row {
    const char* name;
    Change change;
    Trace expected;
  };
  const Row rows[] = {
      {"a sale committed at 1.625 s: the top's look at 1.75 s", Change::Sale, {"pass", "rest 1750", "pass", "pass"}},
      {"an old receipt edited at 1.625 s: the deep look at 3 s", Change::OldReceipt, {"pass", "rest 3000", "pass"}},
      // The write moves the count; only the writer's end can show its commit in the next rest.
      {"an old receipt written in one rest and committed in the next",
       Change::OldReceiptCommittedInTheNextRest,
       {"pass", "rest 3000", "pass", "rest 3000", "pass"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TestDatabase db;
    db.setFifo(1);
    const int g = db.goods();
    const int oldLine = db.receipt({.date = feb(10), .goods = g, .qty = 10, .price = 3});
    db.receipt({.date = feb(20), .goods = g, .qty = 10, .price = 4});
    Connection writer;
    writer.setDatabaseName(db.path());
    writer.open();
    RealLoop loop(db);
    loop.state.watch.setTopKeys(1);
    TracingParts& parts = loop.parts;
    parts.stopAfterPass = static_cast<int>(std::count(row.expected.begin(), row.expected.end(), "pass"));
    int rests = 0;
    parts.atSleep = [&](int) {
      if (parts.trace.back() != "rest 1625") return;
      ++rests;
      if (row.change == Change::Sale && rests == 1)
        db.issue({.date = mar(6), .goods = g, .qty = 2, .cost = std::nullopt});
      if (row.change != Change::Sale && rests == 1)
        writer.executeImmediate("UPDATE O_PRECE SET CENA = 5 WHERE ISN = " + std::to_string(oldLine));
      if (rests == (row.change == Change::OldReceiptCommittedInTheNextRest ? 2 : 1))
        writer.defaultTransaction().commit();
    };
    loop.run();
    EXPECT_EQ(parts.trace, row.expected);
  }
}

// While nothing happens a watched rest lasts 30 s, then 60 s, then 120 s: an idle pass is the
// dearest thing an idle run does.
TEST(IdleRest, AWatchedRestLengthensWhileNothingHappens) {
  TestDatabase db;
  db.setFifo(1);
  db.receipt({.date = feb(20), .goods = db.goods(), .qty = 10, .price = 4});
  RealLoop loop(db);
  loop.state.watch.setWholeLook(std::chrono::hours(1), DocumentWatch::kWindowKeys);  // no whole look falls due
  loop.parts.stopAfterPass = 5;
  loop.run();
  EXPECT_EQ(loop.parts.trace,
            (Trace{"pass", "rest 30000", "pass", "rest 60000", "pass", "rest 120000", "pass", "rest 120000", "pass"}));
}

// After a change the top is asked at 250 ms again, not at the longest spacing reached before it,
// whether the pass the change started wrote a cost or not.
TEST(IdleRest, AfterAChangeTheTopIsAskedAtOnceAgain) {
  struct Row {
    const char* name;
    std::optional<double> firstCost;  // the first sale's cost as committed
    Trace expected;
  };
  const Row rows[] = {
      {"a sale to price", std::nullopt, {"pass", "rest 5750", "pass", "pass", "rest 250", "pass", "pass"}},
      {"a sale that carries its cost", 4.0, {"pass", "rest 5750", "pass", "rest 250", "pass", "pass"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TestDatabase db;
    db.setFifo(1);
    const int g = db.goods();
    db.receipt({.date = feb(20), .goods = g, .qty = 10, .price = 4});
    RealLoop loop(db);
    TracingParts& parts = loop.parts;
    parts.stopAfterPass = static_cast<int>(std::count(row.expected.begin(), row.expected.end(), "pass"));
    int sales = 0;
    parts.atSleep = [&](int) {
      // The first sale well into a long rest, the second at once in the next rest.
      if (sales == 2 || parts.trace.back() != (sales == 0 ? "rest 5000" : "rest 125")) return;
      db.issue({.date = mar(6), .goods = g, .qty = 1, .cost = sales++ == 0 ? row.firstCost : std::nullopt});
      db.connection().defaultTransaction().commit();
    };
    loop.run();
    EXPECT_EQ(parts.trace, row.expected);
  }
}

}  // namespace
}  // namespace talvix::test
