// FIFO passes with the real pricing library on a written stock history: one pass in mode 2 run
// directly and through autoiepcensad-run, and a continuous run that keeps pricing new lines. Every
// expected cost is worked out by hand below from the library's FIFO rules (day grain, newest
// layers in stock, the day's outflow taking the oldest of them).
#include "data/query.h"
#include "fifo/fifo_step_fixture.h"
#include "pricing/library.h"
#include "registry/registry_store.h"
#include "run/dispatcher.h"
#include "run/fifo_run.h"
#include "step/stop_request.h"
#include "support/host_registry.h"
#include "support/host_run.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace talvix::test {
namespace {

using Lines = std::vector<std::string>;

DateTime feb(int d) { return makeDate(2026, 2, d); }
DateTime mar(int d) { return makeDate(2026, 3, d); }

// Goods G: department 1 receives 5 @ 4.00 (20 Feb) and 10 @ 5.00 with ATLAIDE 10 (3 March), holds a
// goods balance of 2 (1 March), sends 6 to department 2 and sells 3 (5 March). Department 2 also
// receives 4 @ 6.00 (8 March), sells 8 and takes 1 back on the same sale (10 March), and client 8
// returns one unit (12 March); client 9, who never bought, returns one to department 1. Goods H:
// 3 @ 7.00 received 25 Feb, one unit returned without a client on 15 March. The lines that mode 2
// must price again start with a wrong cost of 99.
struct WrittenHistory {
  explicit WrittenHistory(TestDatabase& db) {
    db.setFifo(1);
    g = db.goods("Prece G");
    h = db.goods("Prece H");
    db.receipt({.date = feb(20), .dept = 1, .goods = g, .qty = 5, .price = 4});
    db.receipt({.date = mar(3), .dept = 1, .goods = g, .qty = 10, .price = 5, .discount = 10});
    db.receipt({.date = mar(8), .dept = 2, .goods = g, .qty = 4, .price = 6});
    db.receipt({.date = feb(25), .dept = 1, .goods = h, .qty = 3, .price = 7});
    balance = db.balance({.date = mar(1), .dept = 1, .goods = g, .qty = 2, .cost = 99.0});
    transfer = db.transfer({.date = mar(5), .from = 1, .to = 2, .goods = g, .qty = 6, .cost = 99.0});
    sale1 = db.issue({.date = mar(5), .dept = 1, .goods = g, .qty = 3, .cost = 99.0, .price = 10, .client = 7});
    sale2 = db.issue({.date = mar(10), .dept = 2, .goods = g, .qty = 8, .cost = std::nullopt, .price = 12,
                      .client = 8});
    takenBack = db.issue({.date = mar(10), .dept = 2, .goods = g, .qty = -1, .price = 12, .client = 8});
    returnOfSale = db.returned({.date = mar(12), .dept = 2, .goods = g, .cost = 99.0, .price = 12, .client = 8});
    returnUnsold = db.returned({.date = mar(12), .dept = 1, .goods = g, .cost = 99.0, .price = 10, .client = 9});
    returnH = db.returned({.date = mar(15), .dept = 1, .goods = h, .cost = std::nullopt, .fromWhat = std::nullopt});
    returnUntouched = db.returned({.date = mar(12), .dept = 2, .goods = g, .cost = std::nullopt, .price = 12,
                                   .client = 8, .fromWhat = 1});
  }
  int g, h, balance, transfer, sale1, sale2, takenBack, returnOfSale, returnUnsold, returnH, returnUntouched;
};

// The receipt of 3 March at its effective price.
const double kReceipt2 = 5.0 * (1 + 10.0 / 100);
// Balance of 1 March, department 1: stock 0, 2 units out of the one layer before it, 5 @ 4.00.
const double kBalance = 4.0;
// 5 March, department 1: stock 5 + 2 + 10 = 17, the day's outflow 6 + 3 = 9 takes the oldest nine:
// 5 @ 4.00, the 2 of the balance at its new cost, and 2 of the 3 March receipt.
const double kDept1March5 = (5 * 4.0 + 2 * kBalance + 2 * kReceipt2) / 9;
// 10 March, department 2: stock 6 (the transfer) + 4 = 10, the day's outflow 8 - 1 = 7 takes the
// six transferred units and one of 8 March.
const double kDept2March10 = (6 * kDept1March5 + 1 * 6.0) / 7;
// The return of client 8 matches the sale at 12.00; client 9's goes to the latest balance cost;
// goods H has only its receipt before the return.
const double kReturnOfSale = kDept2March10;
const double kReturnUnsold = kBalance;
const double kReturnH = 7.0;

// Every kind's heading (with its reset's counter), one counter over the lines of every kind in date
// order, then the kinds' closing lines.
const Lines kModeTwoPass = {
    "+Sāku FIFO ...", "+Sagatavoju dienas daudzumus ...",
    "+Aprēķinu pašizmaksu atlikumiem ...",
    "+Aprēķinu pārvietošanu ...", "+", "~Dzēšu 1",
    "+Aprēķinu izrakstīšanu ...", "+", "~Dzēšu 0", "~Dzēšu 1", "~Dzēšu 2",
    "+Aprēķinu atgriešanu ...", "+", "~1/9", "~2/9", "~3/9", "~4/9", "~5/9", "~6/9", "~7/9", "~8/9", "~9/9",
    "+Pašizmaksa atlikumiem piešķirta", "+Pārvietošana piešķirta", "+Izrakstīšana sadalīta",
    "+FIFO piešķiršana pabeigta "};

void expectCosts(TestDatabase& db, const WrittenHistory& w) {
  EXPECT_NEAR(db.balanceCost(w.balance), kBalance, 1e-9);
  EXPECT_NEAR(db.transferCost(w.transfer), kDept1March5, 1e-9);
  EXPECT_NEAR(db.issueCost(w.sale1), kDept1March5, 1e-9);
  EXPECT_NEAR(db.issueCost(w.sale2), kDept2March10, 1e-9);
  EXPECT_NEAR(db.issueCost(w.takenBack), kDept2March10, 1e-9);
  EXPECT_NEAR(db.returnCost(w.returnOfSale), kReturnOfSale, 1e-9);
  EXPECT_NEAR(db.returnCost(w.returnUnsold), kReturnUnsold, 1e-9);
  EXPECT_NEAR(db.returnCost(w.returnH), kReturnH, 1e-9);
  EXPECT_TRUE(db.isNull("SELECT IEP_CENA FROM O_ATGPRC WHERE ISN=" + std::to_string(w.returnUntouched)));
}

Lines operationEntries(TestDatabase& db) {
  Query q(db.connection());
  q.setSql("SELECT NOSAUKUMS, TEKSTS2 FROM S_OPERACIJAS ORDER BY ISN");
  q.open();
  Lines entries;
  for (q.first(); !q.eof(); q.next()) entries.push_back(q.asString(0) + " " + q.asString(1));
  return entries;
}

// A window's worth of run parts around the real library, connected to the test database.
struct RealRun {
  explicit RealRun(TestDatabase& db) : library(pricing::MainFormDatiDll()), registry(db.dir().file("registry.reg")) {
    library->mainFormDati().PRECES_DB.setDatabaseName(db.path());
    library->mainFormDati().connect();
    settings.dateFrom = mar(1);
    settings.dateTo = mar(31);
  }
  RunContext context() { return RunContext{settings, *library, log, registry, sleeper, state, &host}; }

  struct Host : DispatcherHost {
    void SaveSettings() override {}
    void showMessage(const std::string& text) override { ADD_FAILURE() << text; }
  };
  // Every write, and a hook the continuous run uses to act between passes.
  struct Log : HistoryLog {
    void AddProcessLine(const std::string& text, bool replaceLast) override {
      HistoryLog::AddProcessLine(text, replaceLast);
      if (onLine) onLine(text);
    }
    std::function<void(const std::string&)> onLine;
  };

  std::unique_ptr<PricingLibrary> library;
  RegFileStore registry;
  RunSettings settings;
  Log log;
  CountingSleeper sleeper;
  SessionState state;
  Host host;
};

TEST(FifoEndToEnd, OnePassInModeTwoWritesTheHandComputedCosts) {
  TestDatabase db;
  const WrittenHistory written(db);
  RealRun run(db);
  run.settings.balances = run.settings.transfers = run.settings.issues = run.settings.returns = kAllAnew;
  RunContext ctx = run.context();
  FifoRun(ctx);
  expectCosts(db, written);
  Lines history = run.log.history;
  // Before the closing lines, what the run changed: the eleven lines it gives a cost.
  const auto summary = std::find_if(history.begin(), history.end(), [](const std::string& line) {
    return line.rfind("+Mainītas pašizmaksas: ", 0) == 0;
  });
  ASSERT_NE(summary, history.end());
  EXPECT_EQ(summary - history.begin(), static_cast<std::ptrdiff_t>(kModeTwoPass.size() - 1));
  EXPECT_NE(summary->find("; bez pašizmaksas vēl "), std::string::npos) << *summary;
  history.erase(summary);
  ASSERT_EQ(history.size(), kModeTwoPass.size() + 1);
  EXPECT_EQ(Lines(history.begin(), history.end() - 1), kModeTwoPass);
  EXPECT_EQ(history.back().rfind("+Ilgums: 00:00:", 0), 0u) << history.back();
  EXPECT_EQ(operationEntries(db),
            (Lines{"AUTO IEP.SAD. ATLIK=2", "AUTO.IEP.SAD. PARV=2", "AUTO IEP.SAD. IZR=2", "IEP.SAD. ATGR=2"}));
}

TEST(FifoEndToEnd, AContinuousRunKeepsPricingLinesInsertedWhileItRuns) {
  TestDatabase db;
  db.setFifo(1);
  const int g = db.goods();
  db.receipt({.date = feb(20), .goods = g, .qty = 5, .price = 4});
  db.receipt({.date = mar(3), .goods = g, .qty = 10, .price = 5, .discount = 10});
  const int first = db.issue({.date = mar(5), .goods = g, .qty = 3});
  RealRun run(db);
  run.settings.issues = kOnlyWithoutCost;
  int passes = 0, inserted = 0;
  run.log.onLine = [&](const std::string& text) {
    if (text != "FIFO piešķiršana pabeigta ") return;
    if (++passes == 1) inserted = db.issue({.date = mar(6), .goods = g, .qty = 4});
    if (passes == 3) requestStop();
  };
  RunContext ctx = run.context();
  EXPECT_THROW(runCosting(ctx), RunStopped);
  clearStopRequest();
  EXPECT_EQ(passes, 3);
  // 5 March: stock 15, three out of the oldest layer. 6 March: stock 12 is the newest 12 units
  // (10 of 3 March and 2 of 20 Feb); the four going out are those 2 and 2 of 3 March.
  EXPECT_NEAR(db.issueCost(first), 4.0, 1e-9);
  EXPECT_NEAR(db.issueCost(inserted), (2 * 4.0 + 2 * kReceipt2) / 4, 1e-9);
  EXPECT_EQ(run.log.lines.back(), kProcessStopped);
}

// A shop's day that another program commits while a continuous run (transfers and issues "only
// without cost") is at a given point of its first pass: a receipt into the warehouse, a transfer
// to the shop and sales in both, all on 4 March. Whenever it lands, every line ends with the cost
// that one pass over the final data gives.
void writeBaseDays(TestDatabase& db, int g) {
  db.receipt({.date = feb(20), .dept = 1, .goods = g, .qty = 10, .price = 4});
  db.transfer({.date = mar(2), .from = 1, .to = 2, .goods = g, .qty = 3});
  db.issue({.date = mar(2), .dept = 1, .goods = g, .qty = 2});
  db.issue({.date = mar(3), .dept = 2, .goods = g, .qty = 1});
}
void writeShopDay(TestDatabase& db, int g) {
  db.receipt({.date = mar(4), .dept = 1, .goods = g, .qty = 6, .price = 7});
  db.transfer({.date = mar(4), .from = 1, .to = 2, .goods = g, .qty = 4});
  db.issue({.date = mar(4), .dept = 1, .goods = g, .qty = 5});
  db.issue({.date = mar(4), .dept = 2, .goods = g, .qty = 5});
}
Lines costsByLine(TestDatabase& db) {
  Lines costs;
  for (const char* sql : {"SELECT ISN, CENA FROM O_PARPRC ORDER BY ISN", "SELECT ISN, IEP_CENA FROM O_PRCOUT ORDER BY ISN"}) {
    Query q(db.connection());
    q.setSql(sql);
    q.open();
    for (q.first(); !q.eof(); q.next()) costs.push_back(std::to_string(q.asInteger(0)) + " " + std::to_string(q.asDouble(1)));
  }
  return costs;
}

class ConcurrentDay : public ::testing::TestWithParam<const char*> {};

TEST_P(ConcurrentDay, EndsWithTheCostsOfOnePassOverTheFinalData) {
  TestDatabase reference;
  reference.setFifo(1);
  const int g = reference.goods();
  writeBaseDays(reference, g);
  writeShopDay(reference, g);
  {
    RealRun once(reference);
    once.settings.transfers = once.settings.issues = kOnlyWithoutCost;
    RunContext ctx = once.context();
    FifoRun(ctx);
  }

  TestDatabase db;
  db.setFifo(1);
  ASSERT_EQ(db.goods(), g);
  writeBaseDays(db, g);
  RealRun run(db);
  run.settings.transfers = run.settings.issues = kOnlyWithoutCost;
  bool committed = false;
  int passes = 0;
  run.log.onLine = [&](const std::string& text) {
    if (!committed && text == GetParam()) {
      writeShopDay(db, g);
      committed = true;
    }
    if (text == "FIFO piešķiršana pabeigta " && ++passes == 2) requestStop();
  };
  RunContext ctx = run.context();
  EXPECT_THROW(runCosting(ctx), RunStopped);
  clearStopRequest();
  ASSERT_TRUE(committed);
  EXPECT_EQ(costsByLine(db), costsByLine(reference));
}

INSTANTIATE_TEST_SUITE_P(Moments, ConcurrentDay,
                         ::testing::Values("Sāku FIFO ...", "Sagatavoju dienas daudzumus ...",
                                           "Aprēķinu pārvietošanu ...", "Pārvietošana piešķirta",
                                           "Aprēķinu izrakstīšanu ...", "Izrakstīšana sadalīta"));

#ifdef AUTOIEPCENSAD_RUN
constexpr std::chrono::seconds kHostLimit{600};

// The text of a line as the list shows it: behind the time of day and one blank.
bool showsText(const std::string& line, const std::string& text) {
  return line.size() > text.size() && line.compare(line.size() - text.size(), text.size(), text) == 0 &&
         line[line.size() - text.size() - 1] == ' ';
}

TEST(FifoEndToEnd, AutoiepcensadRunDoesOneModeTwoPassAndEnds) {
  TestDatabase db;
  const WrittenHistory written(db);
  const std::string registryPath = db.dir().file("registry.reg");
  writeHostRegistry(registryPath, db.path(), mar(1), mar(31),
                    {{"PedejaCena", 0}, {"ParvIzrakst1PardCena", 0}, {"PakalpojumusNe", 0}, {"IMEI", 0},
                     {"ParvietosanaChk", kAllAnew}, {"IzrakstisanaChk", kAllAnew}, {"AtgriesanaChk", kAllAnew},
                     {"AtlikumiChk", kAllAnew}});
  // The embedded engine lets one process at a time open the file.
  db.connection().close();
  // Standard output is the progress log, every write a line; message boxes and Qt's notes go to
  // standard error.
  HostRun host(registryPath);
  EXPECT_EQ(host.finish(kHostLimit), 0) << host.errors();
  Lines output;
  std::istringstream printed(host.output());
  for (std::string line; std::getline(printed, line);)
    if (line.find("Mainītas pašizmaksas: ") == std::string::npos) output.push_back(line);
  EXPECT_NE(host.output().find("Mainītas pašizmaksas: "), std::string::npos) << "the run's summary is printed";

  Lines expected{"Datu bāze: Noliktava, metode: FIFO"};  // the run's first line, the window's own
  for (const std::string& write : kModeTwoPass) expected.push_back(write.substr(1));
  ASSERT_EQ(output.size(), expected.size() + 2) << ::testing::PrintToString(output);
  for (const std::string& line : output) EXPECT_EQ(line.find("Kļūda"), std::string::npos) << line;
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_TRUE(showsText(output[i], expected[i])) << i << ": " << output[i] << " / " << expected[i];
  EXPECT_NE(output[expected.size()].find(" Ilgums: 00:00:"), std::string::npos) << output[expected.size()];
  EXPECT_TRUE(showsText(output.back(), "Process pabeigts")) << output.back();

  db.connection().open();
  expectCosts(db, written);
  RegFileStore registry(registryPath);
  EXPECT_NEAR(registry.openForRead("Software\\ORMANTA\\Talvix\\AutoIepCenSad")->readDateTime("LastIepCenSadLaiks"),
              nowLocal(), 1.0 / 24);
}
#endif

}  // namespace
}  // namespace talvix::test
