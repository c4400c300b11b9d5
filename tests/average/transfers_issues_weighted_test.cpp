// Transfers and issues together by weighted average: which lines share one price, and in which
// order transfers and issues are priced and committed.
#include "average/transfers_issues_weighted.h"
#include "data/db_error.h"
#include "support/run_fixture.h"
#include "library_calls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <type_traits>
#include <variant>

namespace talvix {
namespace {

using test::IssueLine;
using test::ReceiptLine;
using test::ReturnLine;
using test::TransferLine;

DateTime day(int d) { return makeDate(2026, 3, d); }

constexpr int kGoods = 7, kOtherGoods = 8;
constexpr int X = 1, Y = 2, Z = 3;

// A fresh database with two goods, both kinds in mode 1 and a library whose every call answers a
// new price, 101, 102, ..., so that a line's cost names the call it came from.
struct Walk {
  Walk() {
    fx.period(day(1), day(31));
    fx.settings.transfers = kOnlyWithoutCost;
    fx.settings.issues = kOnlyWithoutCost;
    fx.db.goodsWithKey(kGoods);
    fx.db.goodsWithKey(kOtherGoods);
    fx.pricing.average = [this](int, int, DateTime, bool, bool) { return 100.0 + ++answers; };
    fx.pricing.lastPrice = [this](int, int, int, DateTime) { return 100.0 + ++answers; };
  }
  void run() {
    RunContext ctx = fx.context();
    AssignTransfersIssuesWeighted(ctx);
  }
  int callOfIssue(int line) { return static_cast<int>(fx.db.issueCost(line)) - 100; }
  int callOfTransfer(int line) { return static_cast<int>(fx.db.transferCost(line)) - 100; }

  test::RunFixture fx;
  int answers = 0;
};

// Stock movements the step does not price but that may end a pass.
using Movement = std::variant<ReceiptLine, TransferLine, ReturnLine>;

void write(test::TestDatabase& db, const Movement& movement) {
  std::visit(
      [&](const auto& m) {
        using T = std::decay_t<decltype(m)>;
        if constexpr (std::is_same_v<T, ReceiptLine>) db.receipt(m);
        else if constexpr (std::is_same_v<T, TransferLine>) db.transfer(m);
        else db.returned(m);
      },
      movement);
}

struct PassCase {
  const char* scenario;
  std::vector<IssueLine> issues;
  std::vector<Movement> others;
  std::vector<int> calls;  // per issue, the number of the library call whose price it gets
};

TEST(TransfersIssuesWeighted, APassEndsAtTheNextStockInOfItsGoodsIntoItsDepartment) {
  const IssueLine day1{.date = day(1), .dept = X, .goods = kGoods};
  const IssueLine day3{.date = day(3), .dept = X, .goods = kGoods};
  const IssueLine day5{.date = day(5), .dept = X, .goods = kGoods};
  const auto receipt = [](int d, int dept, int goods) {
    return ReceiptLine{.date = day(d), .dept = dept, .goods = goods, .price = 4};
  };
  const auto transferIn = [](int from, test::Cost cost) {
    return TransferLine{.date = day(2), .from = from, .to = X, .goods = kGoods, .cost = cost};
  };
  const auto returnIn = [](test::Cost cost, std::optional<int> fromWhat) {
    return ReturnLine{.date = day(2), .dept = X, .goods = kGoods, .cost = cost, .fromWhat = fromWhat};
  };
  const std::vector<PassCase> cases = {
      {"two lines of one day share one call", {day1, day1}, {}, {1, 1}},
      {"no stock-in: the pass runs on over the days", {day1, day3, day5}, {}, {1, 1, 1}},
      {"receipt on day 2 splits days 1 and 3", {day1, day3}, {receipt(2, X, kGoods)}, {1, 2}},
      {"receipt on the first line's day does not split", {day1, day3}, {receipt(1, X, kGoods)}, {1, 1}},
      {"receipt on the later line's day splits", {day1, day3}, {receipt(3, X, kGoods)}, {1, 2}},
      {"receipt after the last line does not split", {day1, day3}, {receipt(4, X, kGoods)}, {1, 1}},
      {"receipt into another department does not split", {day1, day3}, {receipt(2, Y, kGoods)}, {1, 1}},
      {"receipt of other goods does not split", {day1, day3}, {receipt(2, X, kOtherGoods)}, {1, 1}},
      {"transfer in with a cost splits", {day1, day3}, {transferIn(Z, 5.0)}, {1, 2}},
      {"transfer in with a negative cost does not split", {day1, day3}, {transferIn(Z, -5.0)}, {1, 1}},
      // Still at 0, the line is one of the walk's own; from X into X it rides in the pass.
      {"transfer in still at 0 does not split", {day1, day3}, {transferIn(X, 0.0)}, {1, 1}},
      {"return with a cost and FROM_WHAT 2 splits", {day1, day3}, {returnIn(5.0, 2)}, {1, 2}},
      {"return with FROM_WHAT 1 does not split", {day1, day3}, {returnIn(5.0, 1)}, {1, 1}},
      {"return with FROM_WHAT NULL does not split", {day1, day3}, {returnIn(5.0, std::nullopt)}, {1, 1}},
      {"return with FROM_WHAT 2 still at 0 does not split", {day1, day3}, {returnIn(0.0, 2)}, {1, 1}},
      {"other goods in between split", {day1, {.date = day(2), .dept = X, .goods = kOtherGoods}, day3}, {},
       {1, 2, 3}},
      {"another department in between splits", {day1, {.date = day(2), .dept = Y, .goods = kGoods}, day3}, {},
       {1, 2, 3}},
      {"other goods of the same day come between by goods key",
       {{.date = day(1), .dept = X, .goods = kOtherGoods}, day1, day1}, {}, {2, 1, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scenario);
    Walk w;
    std::vector<int> lines;
    for (const auto& issue : c.issues) lines.push_back(w.fx.db.issue(issue));
    for (const auto& other : c.others) write(w.fx.db, other);

    w.run();

    std::vector<int> calls;
    for (int line : lines) calls.push_back(w.callOfIssue(line));
    EXPECT_EQ(calls, c.calls);
    EXPECT_EQ(w.answers, *std::max_element(c.calls.begin(), c.calls.end()));
  }
}

// With no later stock-in a pass ends on 31 December 3000; a line dated then or later still gets a
// price, one pass each.
TEST(TransfersIssuesWeighted, WithNoStockInAPassEndsOnTheLastDayOf3000) {
  Walk w;
  w.fx.period(makeDate(3000, 12, 29), makeDate(3001, 1, 2));
  std::vector<int> lines;
  for (DateTime date : {makeDate(3000, 12, 29), makeDate(3000, 12, 30), makeDate(3000, 12, 31), makeDate(3001, 1, 1),
                        makeDate(3001, 1, 1)})
    lines.push_back(w.fx.db.issue({.date = date, .dept = X, .goods = kGoods}));

  w.run();

  std::vector<int> calls;
  for (int line : lines) calls.push_back(w.callOfIssue(line));
  EXPECT_EQ(calls, (std::vector<int>{1, 1, 2, 3, 4}));
}

TEST(TransfersIssuesWeighted, ATransferIsPricedAndCommittedBeforeTheIssuesOfItsDay) {
  Walk w;
  // Inserted in the reverse of the walk's order.
  const int issueOfY = w.fx.db.issue({.date = day(4), .dept = Y, .goods = kGoods});
  const int transfer = w.fx.db.transfer({.date = day(4), .from = X, .to = Y, .goods = kGoods});
  const int earlierIssue = w.fx.db.issue({.date = day(3), .dept = Y, .goods = kGoods});
  double transferSeenByOthers = -1;
  w.fx.pricing.average = [&](int, int dept, DateTime date, bool, bool) {
    if (dept == Y && date == day(4)) transferSeenByOthers = w.fx.db.transferCost(transfer);
    return 100.0 + ++w.answers;
  };

  w.run();

  EXPECT_EQ(test::priceCalls(w.fx.pricing), (std::vector<std::string>{
                                "TVidSvPasizm",
                                "GetVidSvPasizmaksa(7,2,2026-03-03,false,false)",
                                "GetVidSvPasizmaksa(7,1,2026-03-04,true,false)",
                                "GetVidSvPasizmaksa(7,2,2026-03-04,false,false)",
                            }));
  EXPECT_EQ(w.callOfIssue(earlierIssue), 1);
  EXPECT_EQ(w.callOfTransfer(transfer), 2);
  EXPECT_EQ(w.callOfIssue(issueOfY), 3);
  EXPECT_DOUBLE_EQ(transferSeenByOthers, 102.0);
}

TEST(TransfersIssuesWeighted, APassRunsFromATransferIntoTheIssuesOfTheSameDepartment) {
  Walk w;
  const int issue = w.fx.db.issue({.date = day(4), .dept = X, .goods = kGoods});
  const int transfer = w.fx.db.transfer({.date = day(4), .from = X, .to = Y, .goods = kGoods});

  w.run();

  EXPECT_EQ(w.fx.pricing.callsOf("GetVidSvPasizmaksa"),
            (std::vector<std::string>{"GetVidSvPasizmaksa(7,1,2026-03-04,true,false)"}));
  EXPECT_EQ(w.callOfTransfer(transfer), 1);
  EXPECT_EQ(w.callOfIssue(issue), 1);
}

TEST(TransfersIssuesWeighted, CountsEveryLineOnTheHeadingLine) {
  Walk w;
  w.fx.db.issue({.date = day(2), .dept = X, .goods = kGoods});
  w.fx.db.issue({.date = day(2), .dept = X, .goods = kGoods});
  w.fx.db.transfer({.date = day(3), .from = Y, .to = X, .goods = kOtherGoods, .cost = std::nullopt});
  std::vector<std::string> counters;
  w.fx.pricing.average = [&](int, int, DateTime, bool, bool) {
    counters.push_back(w.fx.log.last());
    return 1.0;
  };

  w.run();

  // Only the first line of each pass asks the library; the counter moves on every line.
  EXPECT_EQ(counters, (std::vector<std::string>{"Aprēķinu pārvietošanu un izrakstīšanu ...", "1/3"}));
  EXPECT_EQ(w.fx.log.lines, (std::vector<std::string>{"2/3", "Pārvietošana un izrakstīšana sadalīta"}));
}

TEST(TransfersIssuesWeighted, LastPurchasePriceIsAskedOncePerPass) {
  Walk w;
  w.fx.settings.lastPurchasePrice = true;
  w.fx.db.receipt({.date = day(3), .dept = X, .goods = kGoods, .price = 4});
  const std::vector<int> lines = {w.fx.db.issue({.date = day(2), .dept = X, .goods = kGoods}),
                                  w.fx.db.issue({.date = day(2), .dept = X, .goods = kGoods}),
                                  w.fx.db.issue({.date = day(4), .dept = X, .goods = kGoods})};
  const int transfer = w.fx.db.transfer({.date = day(5), .from = Z, .to = X, .goods = kGoods});

  w.run();

  EXPECT_EQ(test::priceCalls(w.fx.pricing), (std::vector<std::string>{
                                "TVidSvPasizm",
                                "GetPedIepCena(7,1,0,2026-03-02)",
                                "GetPedIepCena(7,1,0,2026-03-04)",
                                "GetPedIepCena(7,3,0,2026-03-05)",
                            }));
  EXPECT_EQ((std::vector<int>{w.callOfIssue(lines[0]), w.callOfIssue(lines[1]), w.callOfIssue(lines[2])}),
            (std::vector<int>{1, 1, 2}));
  EXPECT_EQ(w.callOfTransfer(transfer), 3);
}

TEST(TransfersIssuesWeighted, ServicesFilterAppliesToBothKinds) {
  struct Case {
    bool filter;
    int priced;
  };
  for (const Case& c : {Case{false, 2}, Case{true, 0}}) {
    SCOPED_TRACE(c.filter ? "filter set" : "no filter");
    Walk w;
    w.fx.db.goodsWithKey(9, "Montāža", 0, "T");
    if (c.filter) w.fx.state.ServicesFilter = kServicesFilterText;
    const int transfer = w.fx.db.transfer({.date = day(2), .from = X, .to = Y, .goods = 9});
    const int issue = w.fx.db.issue({.date = day(2), .dept = Z, .goods = 9});

    w.run();

    EXPECT_EQ(static_cast<int>(w.fx.pricing.callsOf("GetVidSvPasizmaksa").size()), c.priced);
    EXPECT_EQ(w.fx.db.transferCost(transfer) > 0, c.priced > 0);
    EXPECT_EQ(w.fx.db.issueCost(issue) > 0, c.priced > 0);
  }
}

TEST(TransfersIssuesWeighted, KeepsTheWindowsCalculatorOrCreatesOne) {
  Walk w;
  w.fx.db.issue({.date = day(2), .dept = X, .goods = kGoods});
  w.run();
  ASSERT_NE(w.fx.state.average, nullptr);
  const TVidSvPasizm* first = w.fx.state.average.get();
  w.fx.db.issue({.date = day(3), .dept = X, .goods = kGoods});

  w.run();

  EXPECT_EQ(w.fx.state.average.get(), first);
  EXPECT_EQ(w.fx.pricing.callsOf("TVidSvPasizm").size(), 1u);
}

// The stock-in query reads O_ATGPAV.FROM_WHAT; with the column renamed it can no longer run.
TEST(TransfersIssuesWeighted, NoStockInQueryWhenNothingIsSelected) {
  Walk w;
  w.fx.db.exec("ALTER TABLE O_ATGPAV ALTER COLUMN FROM_WHAT TO FROM_WHAT_GONE");
  w.fx.db.issue({.date = day(2), .dept = X, .goods = kGoods, .cost = 3.0});

  EXPECT_NO_THROW(w.run());
  EXPECT_EQ(w.fx.log.last(), "Pārvietošana un izrakstīšana sadalīta");

  w.fx.db.issue({.date = day(2), .dept = X, .goods = kGoods});
  EXPECT_THROW(w.run(), DbError) << "the probe must catch a stock-in query";
}

}  // namespace
}  // namespace talvix
