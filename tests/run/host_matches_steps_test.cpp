// The shipped host and the bare steps write the same cost into every line of a seeded history:
// the window's code path (progress list, settings, exported entry) changes timing, never results.
#include "data/query.h"
#include "pricing/library.h"
#include "registry/memory_registry_store.h"
#include "run/fifo_run.h"
#include "support/host_registry.h"
#include "support/host_run.h"
#include "support/recording_log.h"
#include "support/temp_dir.h"
#include "tools/demo/demo_history.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#ifdef AUTOIEPCENSAD_RUN
namespace talvix::test {
namespace {

std::vector<std::string> everyCost(const std::string& path) {
  Connection c;
  c.setDatabaseName(path);
  c.open();
  std::vector<std::string> costs;
  for (const DocumentKindRow& row : kDocumentKinds) {
    Query q(c);
    q.setSql(std::string("SELECT ISN, ") + row.tables.cost + " FROM " + row.tables.lines + " ORDER BY ISN");
    q.open();
    char text[64];
    for (q.first(); !q.eof(); q.next()) {
      std::snprintf(text, sizeof text, "%d %.17g", q.asInteger(0), q.asDouble(1));
      costs.emplace_back(text);
    }
  }
  return costs;
}

TEST(HostMatchesSteps, EveryCostOfAModeTwoPassIsTheSame) {
  TempDir dir;
  demo::HistoryShape shape;
  shape.goods = 40;
  shape.departments = 3;
  shape.days = 45;
  shape.lines = 2500;
  shape.lastDay = makeDate(2026, 3, 31);
  const std::string steps = dir.file("steps.fdb"), host = dir.file("host.fdb");
  demo::makeDemoDatabase(steps, shape);
  {
    Connection c;  // the host refuses a period holding the demo's blocked days
    c.setDatabaseName(steps);
    c.open();
    c.executeImmediate("DELETE FROM N_BLOKDIENAS");
    c.defaultTransaction().commit();
  }
  std::filesystem::copy_file(steps, host);

  RunSettings settings;
  settings.dateFrom = shape.lastDay - shape.days + 1;
  settings.dateTo = shape.lastDay;
  settings.transfers = settings.issues = settings.returns = settings.balances = kAllAnew;
  {
    auto library = pricing::MainFormDatiDll();
    library->mainFormDati().PRECES_DB.setDatabaseName(steps);
    library->mainFormDati().connect();
    QuietLog log;
    MemoryRegistryStore registry;
    ThreadSleeper sleeper;
    SessionState state;
    RunContext ctx{settings, *library, log, registry, sleeper, state};
    FifoRun(ctx);
  }

  const std::string registryPath = dir.file("registry.reg");
  writeHostRegistry(registryPath, host, settings.dateFrom, settings.dateTo,
                    {{"PedejaCena", 0}, {"ParvIzrakst1PardCena", 0}, {"PakalpojumusNe", 0}, {"IMEI", 0},
                     {"ParvietosanaChk", kAllAnew}, {"IzrakstisanaChk", kAllAnew}, {"AtgriesanaChk", kAllAnew},
                     {"AtlikumiChk", kAllAnew}});
  HostRun run(registryPath, {}, {.verbose = false});
  ASSERT_EQ(run.finish(std::chrono::seconds(1200)), 0) << run.errors();

  const std::vector<std::string> bare = everyCost(steps), shipped = everyCost(host);
  ASSERT_GT(bare.size(), 2000u);
  EXPECT_EQ(shipped, bare);
}

}  // namespace
}  // namespace talvix::test
#endif
