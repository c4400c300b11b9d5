// Whole runs on a demo history write the same costs, to the last bit, whether the pricing library
// keeps movements between calls or reads them anew on every call: a FIFO pass in mode 2 over every
// kind, and a weighted-average run over 60 days.
#include "data/query.h"
#include "pricing/library.h"
#include "registry/memory_registry_store.h"
#include "run/fifo_run.h"
#include "run/weighted_average_run.h"
#include "support/recording_log.h"
#include "support/run_fixture.h"
#include "support/temp_dir.h"
#include "tools/demo/demo_history.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

namespace talvix::pricing {
namespace {

const DateTime kLastDay = makeDate(2026, 3, 31);

// Every cost column the tool writes, line key -> the column's bits (NULL as its own value).
using Costs = std::map<std::string, std::uint64_t>;

Costs costsIn(const std::string& path) {
  Connection c;
  c.setDatabaseName(path);
  c.open();
  Costs costs;
  const char* columns[][2] = {
      {"O_PARPRC", "CENA"}, {"O_PRCOUT", "IEP_CENA"}, {"O_ATGPRC", "IEP_CENA"}, {"O_PRATL_PRC", "IEP_CENA"}};
  for (const auto& [table, column] : columns) {
    Query q(c);
    q.setSql(std::string("SELECT ISN, ") + column + " FROM " + table);
    q.open();
    for (q.first(); !q.eof(); q.next())
      costs[std::string(table) + " " + std::to_string(q.asInteger(0))] =
          q.isNull(1) ? 0x7ff8dead0000beefull : std::bit_cast<std::uint64_t>(q.asDouble(1));
  }
  return costs;
}

class MovementCacheRuns : public ::testing::Test {
 protected:
  MovementCacheRuns() {
    demo::HistoryShape shape;
    shape.goods = 30;
    shape.departments = 3;
    shape.days = 90;
    shape.lines = 1200;
    shape.lastDay = kLastDay;
    master = dir.file("master.fdb");
    demo::makeDemoDatabase(master, shape);
  }

  // Runs one kind of run on a fresh copy of the history; returns the costs it left.
  Costs runOnCopy(const std::string& name, bool cache, const RunSettings& settings,
                  const std::function<void(RunContext&)>& run) {
    const std::string path = dir.file(name + ".fdb");
    std::filesystem::copy_file(master, path);
    {
      // A few goods one by one, then all at once: both ways of reading within one run.
      auto library = MainFormDatiDll({.movementCache = cache, .goodsReadOneByOne = 8});
      library->mainFormDati().PRECES_DB.setDatabaseName(path);
      library->mainFormDati().connect();
      RunSettings s = settings;
      test::RecordingLog log;
      MemoryRegistryStore registry;
      test::CountingSleeper sleeper;
      SessionState state;
      RunContext ctx{s, *library, log, registry, sleeper, state};
      run(ctx);
    }
    return costsIn(path);
  }

  static void expectSameCosts(const Costs& cached, const Costs& read) {
    ASSERT_EQ(cached.size(), read.size());
    int differing = 0;
    for (const auto& [line, bits] : cached) {
      if (read.at(line) == bits) continue;
      if (++differing <= 10)
        ADD_FAILURE() << line << ": cached " << std::bit_cast<double>(bits) << ", read "
                      << std::bit_cast<double>(read.at(line));
    }
    EXPECT_EQ(differing, 0);
  }

  test::TempDir dir;
  std::string master;
};

// Mode 2 over the last days of the history; a period shorter than the history makes the cached
// library fold the days before it.
TEST_F(MovementCacheRuns, RunsWriteTheSameCostsCachedOrRead) {
  const struct {
    const char* name;
    void (*run)(RunContext&);
    int days;
    int mode = kAllAnew;
  } rows[] = {{"FIFO, whole history", FifoRun, 90},
              {"FIFO, last 30 days", FifoRun, 30},
              // Through one snapshot, its own cost writes laid over what it read.
              {"FIFO, last 30 days, lines without cost", FifoRun, 30, kOnlyWithoutCost},
              {"average, 60 days", WeightedAverageRun, 60},
              {"average, last 20 days", WeightedAverageRun, 20}};
  const Costs before = costsIn(master);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    RunSettings settings;
    settings.dateFrom = kLastDay - row.days + 1;
    settings.dateTo = kLastDay;
    settings.transfers = settings.issues = settings.returns = settings.balances = row.mode;
    const std::string name =
        std::to_string(row.days) + (row.run == FifoRun ? "fifo" : "average") + std::to_string(row.mode);
    const Costs cached = runOnCopy(name + "-cached", true, settings, row.run);
    const Costs read = runOnCopy(name + "-read", false, settings, row.run);
    expectSameCosts(cached, read);
    EXPECT_NE(cached, before) << "the run priced nothing";
  }
}

}  // namespace
}  // namespace talvix::pricing
