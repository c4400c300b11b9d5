// One FIFO pass: the kinds in their order between the opening and closing lines, the day-quantity
// tables, the services filter, the registry stamp, and what a failing pass leaves behind.
#include "registry/registry_store.h"
#include "run/fifo_run.h"
#include "support/run_fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace talvix {
namespace {

using test::RunFixture;
using Lines = std::vector<std::string>;

constexpr const char* kStampKey = "Software\\ORMANTA\\Talvix\\AutoIepCenSad";

DateTime mar(int d) { return makeDate(2026, 3, d); }

class FifoRunTest : public ::testing::Test {
 protected:
  FifoRunTest() {
    f.period(mar(1), mar(31));
    f.pricing.precValid = 101;
  }
  void run() {
    RunContext ctx = f.context();
    FifoRun(ctx);
  }
  void allModes(int mode) {
    f.settings.balances = f.settings.transfers = f.settings.issues = f.settings.returns = mode;
  }
  std::unique_ptr<RegistryKey> stampKey() { return f.registry.openForRead(kStampKey); }
  bool stamped() {
    const auto key = stampKey();
    if (!key) return false;
    for (const auto& name : key->valueNames())
      if (name == "LastIepCenSadLaiks") return true;
    return false;
  }
  Lines operationKeys() const {
    Lines keys;
    for (const auto& call : f.pricing.callsOf("PutInOperacija")) {
      const auto start = call.find(",,") + 2;
      keys.push_back(call.substr(start, call.find(',', start) - start));
    }
    return keys;
  }
  RunFixture f;
};

TEST_F(FifoRunTest, KindsRunInTheirOrderBetweenTheOpeningAndClosingLines) {
  allModes(kOnlyWithoutCost);
  const int g = f.db.goods();
  f.db.receipt({.date = mar(1), .goods = g, .qty = 10, .price = 4});
  f.db.balance({.date = mar(2), .goods = g, .qty = 2});
  const int transfer = f.db.transfer({.date = mar(5), .goods = g, .qty = 5});
  f.db.issue({.date = mar(5), .goods = g, .qty = 3});
  f.db.returned({.date = mar(6), .goods = g, .qty = 1});
  run();
  // Every kind's heading, one counter over their lines priced in date order, every closing line, and
  // what the pass changed before the run's own closing lines.
  ASSERT_GT(f.log.lines.size(), 3u);
  EXPECT_EQ(f.log.lines[f.log.lines.size() - 3].rfind("Mainītas pašizmaksas: 4 rindas, ", 0), 0u)
      << f.log.lines[f.log.lines.size() - 3];
  f.log.lines.erase(f.log.lines.end() - 3);
  EXPECT_EQ(f.log.lines, (Lines{"Sāku FIFO ...", "Sagatavoju dienas daudzumus ...",
                                "Aprēķinu pašizmaksu atlikumiem ...", "Aprēķinu pārvietošanu ...",
                                "Aprēķinu izrakstīšanu ...", "Aprēķinu atgriešanu ...", "4/4",
                                "Pašizmaksa atlikumiem piešķirta", "Pārvietošana piešķirta", "Izrakstīšana sadalīta",
                                "FIFO piešķiršana pabeigta ", "Ilgums: 00:00:00"}));
  EXPECT_EQ(operationKeys(), (Lines{"ATLIK=1", "PARV=1", "IZR=1", "ATGR=1"}));
  EXPECT_EQ(f.pricing.calls.front(), "TMylaiks");
  EXPECT_EQ(f.pricing.calls[1], "SetTime");
  EXPECT_EQ(f.pricing.calls.back(), "~TMylaiks");
  // The outflow table was loaded for the pass: the day's transfers and issues together.
  EXPECT_EQ(f.pricing.callsOf("GetPasizmaksa")[1],
            "GetPasizmaksa(" + std::to_string(g) + ",1," + formatIsoDate(mar(5)) + ",101,5,8)");
  EXPECT_EQ(f.db.transferCost(transfer), 11.0);
  EXPECT_GE(f.log.repaints, 1);
}

// The summary reads the written lines' quantities in batches of keys: a short last batch counts too.
TEST_F(FifoRunTest, TheSummaryCountsTheMoneyOfEveryWrittenLine) {
  f.settings.issues = kOnlyWithoutCost;
  f.pricing.fifo = [](int, int, DateTime, double, double, double) { return 2.5; };
  const int g = f.db.goods();
  f.db.receipt({.date = mar(1), .goods = g, .qty = 1000, .price = 4});
  for (int i = 0; i < 230; ++i) f.db.issue({.date = mar(5), .goods = g, .qty = 1.0 + i % 2, .cost = std::nullopt});
  run();
  ASSERT_GT(f.log.lines.size(), 3u);
  EXPECT_EQ(f.log.lines[f.log.lines.size() - 3],
            "Mainītas pašizmaksas: 230 rindas, vērtības izmaiņa +862,50; bez pašizmaksas vēl 0 rindas");
}

TEST_F(FifoRunTest, AllKindsSkippedStillLoadsTablesStampsAndLogs) {
  const int g = f.db.goods();
  const int transfer = f.db.transfer({.date = mar(5), .goods = g, .qty = 5, .cost = std::nullopt});
  run();
  EXPECT_EQ(f.log.lines, (Lines{"Sāku FIFO ...", "Sagatavoju dienas daudzumus ...", "FIFO piešķiršana pabeigta ",
                                "Ilgums: 00:00:00"}));
  EXPECT_EQ(f.pricing.calls, (Lines{"TMylaiks", "SetTime", "~TMylaiks"}));
  EXPECT_EQ(DayQuantity(f.state.sqlDienDaudzums, g, 1, mar(5)), 5.0);
  EXPECT_TRUE(f.db.isNull("SELECT CENA FROM O_PARPRC WHERE ISN=" + std::to_string(transfer)));
  EXPECT_TRUE(stamped());
}

TEST_F(FifoRunTest, WithLastPurchasePriceTheTablesStayEmptyForThePass) {
  const int g = f.db.goods();
  f.db.transfer({.date = mar(5), .goods = g, .qty = 5});
  f.db.balance({.date = mar(5), .goods = g, .qty = 5});
  run();
  ASSERT_EQ(f.state.sqlDienDaudzums.keys(), 1u);
  f.settings.lastPurchasePrice = true;
  f.log.lines.clear();
  run();
  EXPECT_FALSE(f.state.sqlDienDaudzums.loaded());
  EXPECT_FALSE(f.state.sqlDienDaudzAtlikumi.loaded());
  EXPECT_EQ(f.state.sqlDienDaudzums.keys(), 0u);
  EXPECT_EQ(f.log.lines, (Lines{"Sāku FIFO ...", "FIFO piešķiršana pabeigta ", "Ilgums: 00:00:00"}));
}

TEST_F(FifoRunTest, TheServicesFilterIsSetAfreshEveryPass) {
  f.settings.issues = kOnlyWithoutCost;
  const int service = f.db.goods("Serviss", 0, std::string("P"));
  const int line = f.db.issue({.date = mar(5), .goods = service, .qty = 2, .cost = std::nullopt});
  f.settings.skipServices = true;
  run();
  EXPECT_EQ(f.state.ServicesFilter, kServicesFilterText);
  EXPECT_EQ(DayQuantity(f.state.sqlDienDaudzums, service, 1, mar(5)), 0.0);
  EXPECT_TRUE(f.db.isNull("SELECT IEP_CENA FROM O_PRCOUT WHERE ISN=" + std::to_string(line)));
  f.settings.skipServices = false;
  run();
  EXPECT_EQ(f.state.ServicesFilter, "");
  EXPECT_EQ(DayQuantity(f.state.sqlDienDaudzums, service, 1, mar(5)), 2.0);
  EXPECT_EQ(f.db.issueCost(line), 11.0);
}

TEST_F(FifoRunTest, ThePassEndIsStampedOverThePreviousStampAndBesideOtherValues) {
  {
    const auto key = f.registry.openForWrite(kStampKey);
    key->writeDateTime("LastIepCenSadLaiks", 1.0);
    key->writeInteger("PedejaCena", 1);
  }
  const DateTime before = nowLocal();
  run();
  const DateTime after = nowLocal();
  const auto key = stampKey();
  ASSERT_NE(key, nullptr);
  EXPECT_GE(key->readDateTime("LastIepCenSadLaiks"), before);
  EXPECT_LE(key->readDateTime("LastIepCenSadLaiks"), after);
  EXPECT_EQ(key->readInteger("PedejaCena"), 1);
}

TEST_F(FifoRunTest, ARegistryThatCannotBeOpenedIsSkippedSilently) {
  const std::string path = f.db.dir().file("registry.reg");
  const std::string garbage = "this is no registry file\n[broken";
  std::ofstream(path) << garbage;
  run();
  EXPECT_EQ(f.log.lines.back(), "Ilgums: 00:00:00");
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  EXPECT_EQ(text.str(), garbage);
}

TEST_F(FifoRunTest, AFailingKindStopsThePassButKeepsEarlierWorkAndReleasesTheTimer) {
  allModes(kOnlyWithoutCost);
  const int g = f.db.goods(), bad = f.db.goods("Bojāta");
  f.pricing.fifo = [bad](int goods, int, DateTime, double, double, double) -> double {
    if (goods == bad) throw std::runtime_error("cenas kļūda");
    return 11.0;
  };
  const int transfer = f.db.transfer({.date = mar(5), .goods = g, .qty = 5});
  const int first = f.db.issue({.date = mar(4), .goods = g, .qty = 1});
  f.db.issue({.date = mar(5), .goods = bad, .qty = 3});
  f.db.returned({.date = mar(6), .goods = g, .qty = 1});
  RunContext ctx = f.context();
  EXPECT_THROW(FifoRun(ctx), std::runtime_error);
  EXPECT_EQ(f.pricing.calls.back(), "~TMylaiks");
  // Every kind selected its lines; the pass stopped on the day's second goods.
  EXPECT_EQ(operationKeys(), (Lines{"ATLIK=1", "PARV=1", "IZR=1", "ATGR=1"}));
  EXPECT_EQ(f.log.lines.back(), "3/4");
  EXPECT_FALSE(stamped());
  EXPECT_EQ(f.db.transferCost(transfer), 11.0);
  EXPECT_EQ(f.db.issueCost(first), 11.0);
}

TEST_F(FifoRunTest, ThePeriodIsBoundAsWholeDates) {
  f.settings.transfers = kOnlyWithoutCost;
  f.period(makeDateTime(2026, 3, 5, 15, 0, 0), makeDateTime(2026, 3, 6, 9, 30, 0));
  const int g = f.db.goods();
  const int first = f.db.transfer({.date = mar(5), .goods = g, .qty = 5});
  run();
  EXPECT_EQ(f.db.transferCost(first), 11.0);
  EXPECT_EQ(f.pricing.callsOf("GetPasizmaksa"),
            Lines{"GetPasizmaksa(" + std::to_string(g) + ",1," + formatIsoDate(mar(5)) + ",101,5,5)"});
  EXPECT_NE(f.pricing.callsOf("PutInOperacija")[0].find("Datums No=" + formatShortDate(mar(5)) +
                                                        " Dat.Līdz=" + formatShortDate(mar(6))),
            std::string::npos);
}

TEST_F(FifoRunTest, APeriodEndingBeforeItStartsCompletesWithoutWork) {
  allModes(kOnlyWithoutCost);
  f.period(mar(31), mar(1));
  const int g = f.db.goods();
  const int transfer = f.db.transfer({.date = mar(5), .goods = g, .qty = 5, .cost = std::nullopt});
  run();
  EXPECT_EQ(f.state.sqlDienDaudzums.keys(), 0u);
  EXPECT_TRUE(f.db.isNull("SELECT CENA FROM O_PARPRC WHERE ISN=" + std::to_string(transfer)));
  EXPECT_EQ(f.log.lines.back(), "Ilgums: 00:00:00");
  EXPECT_TRUE(stamped());
}

}  // namespace
}  // namespace talvix
