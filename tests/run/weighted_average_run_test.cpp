// The weighted-average run and its price reset, against a real database.
#include "registry/registry_store.h"
#include "run/weighted_average_run.h"
#include "support/run_fixture.h"

#include <gtest/gtest.h>

namespace talvix {
namespace {

using test::RunFixture;

const DateTime kMarch1 = makeDate(2026, 3, 1);
const DateTime kMarch31 = makeDate(2026, 3, 31);

class WeightedAverageRunTest : public ::testing::Test {
 protected:
  WeightedAverageRunTest() {
    f.period(kMarch1, kMarch31);
    f.db.goodsWithKey(1);
  }
  std::string costOf(const std::string& table, const std::string& column, int line) {
    return f.db.isNull("SELECT " + column + " FROM " + table + " WHERE ISN=" + std::to_string(line))
               ? "NULL"
               : test::num(f.db.scalar("SELECT " + column + " FROM " + table + " WHERE ISN=" + std::to_string(line)));
  }
  RunFixture f;
};

TEST_F(WeightedAverageRunTest, AllKindsSkippedStillStampsAndLogsOpeningAndClosingLines) {
  auto ctx = f.context();
  WeightedAverageRun(ctx);
  EXPECT_EQ(f.log.lines,
            (std::vector<std::string>{"Piešķir vidējā svērtā",
                                      "Mainītas pašizmaksas: 0 rindas, vērtības izmaiņa +0,00; bez pašizmaksas vēl 0 "
                                      "rindas",
                                      "Vidējā svērtā piešķiršana pabeigta Ilgums: 00:00:00"}));
  const auto key = f.registry.openForRead("Software\\ORMANTA\\Talvix\\IepCenSad");
  ASSERT_NE(key, nullptr);
  EXPECT_NEAR(key->readDateTime("LastIepCenSadLaiks"), nowLocal(), 1.0 / 24);
  EXPECT_EQ(f.registry.openForRead("Software\\ORMANTA\\Talvix\\AutoIepCenSad"), nullptr);
  EXPECT_EQ(f.pricing.calls, (std::vector<std::string>{"TMylaiks", "SetTime", "TVidSvPasizm", "~TMylaiks"}));
}

TEST_F(WeightedAverageRunTest, ResetZeroesTransfersAndIssuesOfThePeriodCountingFromZeroAndKeepsServices) {
  const int service = f.db.goods("Serviss", 0, std::string("P"));
  const int goods = f.db.goods("Prece");
  f.settings.transfers = kAllAnew;
  f.settings.issues = kAllAnew;
  f.settings.skipServices = true;
  f.state.ServicesFilter = kServicesFilterText;
  const int t1 = f.db.transfer({.date = kMarch1, .goods = goods, .cost = 5.0});
  const int t2 = f.db.transfer({.date = kMarch31, .goods = goods, .cost = std::nullopt});
  const int tService = f.db.transfer({.date = kMarch1, .goods = service, .cost = 6.0});
  const int tOutside = f.db.transfer({.date = kMarch31 + 1, .goods = goods, .cost = 7.0});
  const int i1 = f.db.issue({.date = makeDate(2026, 3, 10), .goods = goods, .cost = 8.0});
  const int iService = f.db.issue({.date = makeDate(2026, 3, 10), .goods = service, .cost = 9.0});
  f.log.AddProcessLine("Piešķir vidējā svērtā", false);
  auto ctx = f.context();
  ResetCosts(ctx);
  EXPECT_EQ(costOf("O_PARPRC", "CENA", t1), "0");
  EXPECT_EQ(costOf("O_PARPRC", "CENA", t2), "0");  // NULL becomes 0.0
  EXPECT_EQ(costOf("O_PARPRC", "CENA", tService), "6");
  EXPECT_EQ(costOf("O_PARPRC", "CENA", tOutside), "7");
  EXPECT_EQ(costOf("O_PRCOUT", "IEP_CENA", i1), "0");
  EXPECT_EQ(costOf("O_PRCOUT", "IEP_CENA", iService), "9");
  // The first counter line replaced the line above it; the issues' counter started again at 0.
  EXPECT_EQ(f.log.lines, (std::vector<std::string>{"Dzēšu 0"}));
  EXPECT_EQ(f.log.writes, 1 + 2 + 1);
  EXPECT_EQ(f.log.repaints, 1);  // issues repaint after every row
}

TEST_F(WeightedAverageRunTest, GoodsBalanceResetIsOneStatementWithoutProgressLines) {
  f.settings.balances = kAllAnew;
  const int inside = f.db.balance({.date = kMarch31, .cost = 3.0});
  const int outside = f.db.balance({.date = kMarch1 - 1, .cost = 4.0});
  auto ctx = f.context();
  ResetCosts(ctx);
  EXPECT_EQ(costOf("O_PRATL_PRC", "IEP_CENA", inside), "0");
  EXPECT_EQ(costOf("O_PRATL_PRC", "IEP_CENA", outside), "4");
  EXPECT_TRUE(f.log.lines.empty());
}

TEST_F(WeightedAverageRunTest, ModeOneResetsNothing) {
  f.settings.transfers = f.settings.issues = f.settings.balances = kOnlyWithoutCost;
  const int t = f.db.transfer({.date = kMarch1, .cost = 5.0});
  const int i = f.db.issue({.date = kMarch1, .cost = 6.0});
  const int b = f.db.balance({.date = kMarch1, .cost = 7.0});
  auto ctx = f.context();
  ResetCosts(ctx);
  EXPECT_EQ(f.db.transferCost(t), 5.0);
  EXPECT_EQ(f.db.issueCost(i), 6.0);
  EXPECT_EQ(f.db.balanceCost(b), 7.0);
}

struct OrderCase {
  const char* name;
  int transfers, issues, returns, balances;
  std::vector<std::string> entries;  // operation-log keys, in the order the steps ran
};

TEST_F(WeightedAverageRunTest, KindsRunInTheirFixedOrder) {
  const std::vector<OrderCase> cases = {
      {"all four", 1, 2, 1, 1, {"ATLIK=1", "PARV.IZR=1", "ATGR=1"}},
      {"transfers only", 2, 0, 0, 0, {"PARV=2"}},
      {"issues and returns", 0, 1, 2, 0, {"IZR=1", "ATGR=2"}},
      {"balances and transfers", 1, 0, 0, 2, {"ATLIK=2", "PARV=1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RunFixture run;
    run.period(kMarch1, kMarch31);
    run.settings.transfers = c.transfers;
    run.settings.issues = c.issues;
    run.settings.returns = c.returns;
    run.settings.balances = c.balances;
    auto ctx = run.context();
    WeightedAverageRun(ctx);
    std::vector<std::string> keys;
    for (const auto& call : run.pricing.callsOf("PutInOperacija(")) {
      const auto start = call.find(",,") + 2;
      keys.push_back(call.substr(start, call.find(',', start) - start));
    }
    EXPECT_EQ(keys, c.entries);
    EXPECT_EQ(run.log.lines.front(), "Piešķir vidējā svērtā");
    EXPECT_EQ(run.log.lines.back(), "Vidējā svērtā piešķiršana pabeigta Ilgums: 00:00:00");
  }
}

}  // namespace
}  // namespace talvix
