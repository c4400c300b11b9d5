// Every reason the report gives, one row each: a fresh database holding the line (and priced lines
// around it that must not show), the run's options, and the rule and words expected for the line,
// answered by the real pricing library.
#include "pricing/library.h"
#include "report/unpriced_report.h"
#include "support/recording_log.h"
#include "support/run_fixture.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <memory>
#include <string>

namespace talvix::test {
namespace {

DateTime feb(int d) { return makeDate(2026, 2, d); }
DateTime mar(int d) { return makeDate(2026, 3, d); }

// The line the report must list, or none (isn 0).
struct Expected {
  DocumentKind kind = DocumentKind::Issue;
  int isn = 0;
  std::string reason;
};

struct ReasonRow {
  const char* name;
  bool fifo;
  std::function<void(RunSettings&)> options;
  std::function<Expected(TestDatabase&)> write;
  PriceRule rule;
};

void PrintTo(const ReasonRow& row, std::ostream* out) { *out << row.name; }

const std::string kOn12 = "on or before 12.03.2026";

void none(RunSettings&) {}

const ReasonRow kRows[] = {
    {"ServiceLeftOut", true, [](RunSettings& s) { s.skipServices = true; },
     [](TestDatabase& db) {
       const int service = db.goods("Piegāde", 0, "T");
       return Expected{DocumentKind::Issue, db.issue({.date = mar(12), .goods = service}),
                       "service, left out by the services option"};
     },
     PriceRule::NotProcessed},
    {"NoFirstSalePrice", true, [](RunSettings& s) { s.firstSalePrice = true; },
     [](TestDatabase& db) {
       return Expected{DocumentKind::Transfer, db.transfer({.date = mar(12), .goods = db.goods("Bez cenas")}),
                       "goods has no first sale price"};
     },
     PriceRule::FirstSalePrice},
    {"FirstSalePriceNowStands", true, [](RunSettings& s) { s.firstSalePrice = true; },
     [](TestDatabase& db) {
       return Expected{DocumentKind::Issue, db.issue({.date = mar(12), .goods = db.goods("Ar cenu", 12.1), .tax = 10}),
                       "not priced yet: the next run gives it 11.00"};
     },
     PriceRule::FirstSalePrice},
    {"NoReceiptCarriesTheSerial", true, [](RunSettings& s) { s.serialLookup = true; },
     [](TestDatabase& db) {
       return Expected{DocumentKind::Issue, db.issue({.date = mar(12), .goods = db.goods(), .serial = 123}),
                       "no receipt carries serial record 123"};
     },
     PriceRule::Serial},
    {"SerialReceiptWithoutPrice", true, [](RunSettings& s) { s.serialLookup = true; },
     [](TestDatabase& db) {
       const int g = db.goods();
       db.receipt({.date = feb(2), .goods = g, .price = 0, .serial = 124});
       return Expected{DocumentKind::Balance, db.balance({.date = mar(12), .goods = g, .serial = 124}),
                       "the receipt carrying serial record 124 has no price"};
     },
     PriceRule::Serial},
    {"NoPurchaseYet", true, [](RunSettings& s) { s.lastPurchasePrice = true; },
     [](TestDatabase& db) {
       const int g = db.goods();
       db.receipt({.date = mar(20), .dept = 2, .goods = g, .price = 3});  // after the line
       return Expected{DocumentKind::Issue, db.issue({.date = mar(12), .goods = g}),
                       "no purchase with a price " + kOn12 + " in any department"};
     },
     PriceRule::LastPurchasePrice},
    {"EarlierClientSaleWithoutCost", true, none,
     [](TestDatabase& db) {
       const int g = db.goods();
       const int sale = db.issue({.date = feb(20), .goods = g, .price = 5, .client = 7});  // before the period
       db.issue({.date = mar(10), .goods = g, .cost = 1.5, .price = 9, .client = 7});      // another price
       return Expected{DocumentKind::Issue, db.issue({.date = mar(12), .goods = g, .qty = -1, .price = 5, .client = 7}),
                       "the earlier sale to this client at this price (line " + std::to_string(sale) +
                           ") has no cost yet"};
     },
     PriceRule::ClientSale},
    {"NoClientSaleNorBalance", true, none,
     [](TestDatabase& db) {
       return Expected{DocumentKind::Issue,
                       db.issue({.date = mar(12), .goods = db.goods(), .qty = -1, .price = 5, .client = 7}),
                       "no earlier sale to this client at this price, and no goods-balance cost before 12.03.2026"};
     },
     PriceRule::ClientSale},
    {"NoLayerInThisDepartment", true, none,
     [](TestDatabase& db) {
       const int g = db.goods();
       db.receipt({.date = feb(2), .dept = 2, .goods = g, .price = 3});
       db.issue({.date = mar(12), .dept = 2, .goods = g, .cost = 3.0});
       return Expected{DocumentKind::Issue, db.issue({.date = mar(12), .dept = 1, .goods = g}),
                       "no stock layer with a cost " + kOn12 + " in this department"};
     },
     PriceRule::Fifo},
    {"LayerStandsSinceTheLastRun", true, none,
     [](TestDatabase& db) {
       const int g = db.goods();
       db.receipt({.date = feb(20), .goods = g, .qty = 5, .price = 4});
       return Expected{DocumentKind::Transfer, db.transfer({.date = mar(12), .goods = g}),
                       "not priced yet: a stock layer with a cost from 20.02.2026 stands"};
     },
     PriceRule::Fifo},
    {"ReturnOfUntouchedOrigin", true, none,
     [](TestDatabase& db) {
       return Expected{DocumentKind::Return, db.returned({.date = mar(12), .goods = db.goods(), .fromWhat = 1}),
                       "a return of origin 1 is never priced here"};
     },
     PriceRule::NotProcessed},
    {"ReturnWithoutSaleBalanceOrReceipt", true, none,
     [](TestDatabase& db) {
       const int g = db.goods();
       db.receipt({.date = mar(20), .goods = g, .price = 3});  // after the return
       return Expected{DocumentKind::Return, db.returned({.date = mar(12), .goods = g, .client = 9}),
                       "no sale of the goods to this client " + kOn12 +
                           ", and no goods-balance cost or purchase price before 12.03.2026"};
     },
     PriceRule::BalanceStage},
    {"ReturnOfASaleWithoutCost", true, none,
     [](TestDatabase& db) {
       const int g = db.goods();
       db.issue({.date = feb(20), .goods = g, .price = 12, .client = 8});
       return Expected{DocumentKind::Return, db.returned({.date = mar(12), .goods = g, .price = 12, .client = 8}),
                       "the earlier sale to this client at this price has no cost yet"};
     },
     PriceRule::ClientSale},
    {"ReturnOfASerialUnitWithoutReceipt", true, [](RunSettings& s) { s.serialLookup = true; },
     [](TestDatabase& db) {
       const int g = db.goods();
       db.issue({.date = feb(20), .goods = g, .cost = 2.0, .price = 12, .client = 8, .serial = 130});
       return Expected{DocumentKind::Return,
                       db.returned({.date = mar(12), .goods = g, .price = 12, .client = 8, .serial = 130}),
                       "no receipt carries serial record 130, and no goods-balance cost or purchase price before "
                       "12.03.2026"};
     },
     PriceRule::BalanceStage},
    {"KindInModeZeroIsNeverListed", true, [](RunSettings& s) { s.issues = kSkip; },
     [](TestDatabase& db) {
       db.issue({.date = mar(12), .goods = db.goods()});
       return Expected{};
     },
     PriceRule::Fifo},
    {"NoCostedInflowForTheAverage", false, none,
     [](TestDatabase& db) {
       const int g = db.goods();
       db.receipt({.date = feb(2), .goods = g, .price = 0});
       return Expected{DocumentKind::Issue, db.issue({.date = mar(12), .goods = g}),
                       "no costed inflow " + kOn12 + " in this department"};
     },
     PriceRule::WeightedAverage},
    {"AverageNowStands", false, none,
     [](TestDatabase& db) {
       const int g = db.goods();
       db.receipt({.date = feb(20), .goods = g, .qty = 4, .price = 2.5});
       return Expected{DocumentKind::Balance, db.balance({.date = mar(12), .goods = g}),
                       "not priced yet: the next run gives it 2.50"};
     },
     PriceRule::WeightedAverage},
    // Transfers priced without issues take no services filter under the average.
    {"AverageTransfersAloneKeepServices", false, [](RunSettings& s) { s.skipServices = true; s.issues = kSkip; },
     [](TestDatabase& db) {
       return Expected{DocumentKind::Transfer, db.transfer({.date = mar(12), .goods = db.goods("Piegāde", 0, "T")}),
                       "no costed inflow " + kOn12 + " in this department"};
     },
     PriceRule::WeightedAverage},
    {"AverageTransfersWithIssuesLeaveServicesOut", false, [](RunSettings& s) { s.skipServices = true; },
     [](TestDatabase& db) {
       return Expected{DocumentKind::Transfer, db.transfer({.date = mar(12), .goods = db.goods("Piegāde", 0, "T")}),
                       "service, left out by the services option"};
     },
     PriceRule::NotProcessed},
    {"AverageWithLastPurchasePrice", false, [](RunSettings& s) { s.lastPurchasePrice = true; },
     [](TestDatabase& db) {
       return Expected{DocumentKind::Issue, db.issue({.date = mar(12), .goods = db.goods()}),
                       "no purchase with a price " + kOn12 + " in any department"};
     },
     PriceRule::LastPurchasePrice},
};

class UnpricedReasonTest : public ::testing::TestWithParam<ReasonRow> {};

TEST_P(UnpricedReasonTest, ListsTheLineOnceWithItsRuleAndReason) {
  const ReasonRow& row = GetParam();
  TestDatabase db;
  const int priced = db.issue({.date = mar(12), .goods = db.goods("Ar pašizmaksu"), .cost = 2.0});
  const Expected expected = row.write(db);

  const std::unique_ptr<PricingLibrary> library = pricing::MainFormDatiDll();
  library->mainFormDati().PRECES_DB.setDatabaseName(db.path());
  library->mainFormDati().connect();
  RunSettings settings;
  settings.dateFrom = mar(1);
  settings.dateTo = makeDateTime(2026, 3, 31, 17, 0, 0);
  settings.transfers = settings.issues = settings.returns = settings.balances = kOnlyWithoutCost;
  row.options(settings);
  RecordingLog log;
  RegFileStore registry(db.dir().file("registry.reg"));
  CountingSleeper sleeper;
  SessionState state;
  RunContext ctx{settings, *library, log, registry, sleeper, state};

  const std::vector<UnpricedLine> lines = listUnpricedLines(ctx, row.fifo);
  for (const UnpricedLine& line : lines) EXPECT_NE(line.isn, priced) << "a line with a cost is listed";
  if (expected.isn == 0) {
    EXPECT_TRUE(lines.empty()) << lines.front().reason;
    return;
  }
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].kind, expected.kind);
  EXPECT_EQ(lines[0].isn, expected.isn);
  EXPECT_EQ(lines[0].date, mar(12));
  EXPECT_EQ(lines[0].rule, row.rule);
  EXPECT_EQ(lines[0].reason, expected.reason);
  EXPECT_TRUE(log.lines.empty()) << "the report writes no progress";
}

INSTANTIATE_TEST_SUITE_P(Reasons, UnpricedReasonTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<ReasonRow>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace talvix::test
