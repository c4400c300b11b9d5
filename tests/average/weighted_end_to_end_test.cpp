// With the real pricing library: pricing transfers and issues together in one walk gives every line
// the cost that pricing all transfers first and then all issues gives, on a history that has no
// goods-balance documents, no services, and no department that both receives and sends a goods on
// one day (where the two orders of the same day's transfers may differ).
#include "pricing/library.h"
#include "run/weighted_average_run.h"
#include "support/dice.h"
#include "support/run_fixture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <set>
#include <vector>

namespace talvix {
namespace {

DateTime mar(int d) { return makeDate(2026, 3, d); }

using test::Dice;

constexpr int kDays = 31;

// How busy a history is. A quiet one leaves days where only one goods and department move, so
// that one price runs on across days and must stop at each stock-in.
struct Shape {
  std::uint32_t seed;
  int goods;
  int departments;
  int receiptPercent;
  int maxTransfers;  // per goods and day, fewer when a department would both receive and send
  int maxIssues;
};

// Keys of the lines both runs price.
struct History {
  std::vector<int> transfers;
  std::vector<int> issues;
};

History writeHistory(test::TestDatabase& db, const Shape& shape) {
  Dice dice(shape.seed);
  std::vector<int> goods;
  for (int g = 0; g < shape.goods; ++g) goods.push_back(db.goodsWithKey(11 + g));
  const auto dept = [&] { return 1 + dice.roll(shape.departments); };
  const auto price = [&] { return 1 + dice.roll(2000) / 100.0; };
  const auto staleCost = [&]() -> test::Cost {
    switch (dice.roll(3)) {
      case 0: return 0.0;
      case 1: return std::nullopt;
      default: return 99.0;  // mode 2 prices it anew
    }
  };
  History h;
  for (int g : goods)
    for (int d = 1; d <= shape.departments; ++d)
      if (dice.chance(80))
        db.receipt({.date = makeDate(2026, 2, 1 + dice.roll(28)), .dept = d, .goods = g, .qty = 5.0 + dice.roll(20),
                    .price = price()});
  for (int day = 1; day <= kDays; ++day) {
    for (int g : goods) {
      if (dice.chance(shape.receiptPercent))
        db.receipt({.date = mar(day), .dept = dept(), .goods = g, .qty = 1.0 + dice.roll(10), .price = price()});
      if (dice.chance(10))
        db.returned({.date = mar(day), .dept = dept(), .goods = g, .cost = dice.chance(70) ? price() : 0.0,
                     .fromWhat = dice.chance(70) ? 2 : 1});
      std::set<int> receivers, senders;
      for (int n = dice.roll(shape.maxTransfers + 1); n > 0; --n) {
        const int from = dept();
        const int to = 1 + (from + dice.roll(shape.departments - 1)) % shape.departments;
        if (receivers.count(from) || senders.count(to)) continue;
        receivers.insert(to);
        senders.insert(from);
        h.transfers.push_back(db.transfer(
            {.date = mar(day), .from = from, .to = to, .goods = g, .qty = 1.0 + dice.roll(5), .cost = staleCost()}));
      }
      for (int n = dice.roll(shape.maxIssues + 1); n > 0; --n)
        h.issues.push_back(db.issue({.date = mar(day), .dept = dept(), .goods = g,
                                     .qty = dice.chance(5) ? -1.0 : 1.0 + dice.roll(4), .cost = staleCost()}));
    }
  }
  return h;
}

// The window's parts around the real library, on its own copy of the history.
struct RealRuns {
  explicit RealRuns(const Shape& shape) : library(pricing::MainFormDatiDll()) {
    history = writeHistory(fx.db, shape);
    library->mainFormDati().PRECES_DB.setDatabaseName(fx.db.path());
    library->mainFormDati().connect();
    fx.period(mar(1), mar(kDays));
  }
  void run(int transfers, int issues) {
    fx.settings.transfers = transfers;
    fx.settings.issues = issues;
    RunContext ctx = fx.context(library.get());
    WeightedAverageRun(ctx);
  }
  test::RunFixture fx;
  std::unique_ptr<PricingLibrary> library;
  History history;
};

TEST(WeightedEndToEnd, TogetherEqualsTransfersThenIssues) {
  const std::vector<Shape> shapes = {
      {.seed = 1, .goods = 3, .departments = 3, .receiptPercent = 15, .maxTransfers = 2, .maxIssues = 3},
      {.seed = 2, .goods = 3, .departments = 3, .receiptPercent = 15, .maxTransfers = 2, .maxIssues = 3},
      {.seed = 3, .goods = 1, .departments = 2, .receiptPercent = 25, .maxTransfers = 1, .maxIssues = 2},
      {.seed = 4, .goods = 1, .departments = 3, .receiptPercent = 20, .maxTransfers = 1, .maxIssues = 3},
  };
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.seed);
    RealRuns together(shape);
    together.run(kAllAnew, kAllAnew);
    RealRuns apart(shape);
    apart.run(kAllAnew, kSkip);
    apart.run(kSkip, kAllAnew);

    ASSERT_EQ(together.history.transfers, apart.history.transfers);
    ASSERT_EQ(together.history.issues, apart.history.issues);
    int priced = 0;
    for (int line : together.history.transfers) {
      EXPECT_EQ(together.fx.db.transferCost(line), apart.fx.db.transferCost(line)) << "transfer " << line;
      priced += together.fx.db.transferCost(line) > 0;
    }
    for (int line : together.history.issues) {
      EXPECT_EQ(together.fx.db.issueCost(line), apart.fx.db.issueCost(line)) << "issue " << line;
      priced += together.fx.db.issueCost(line) > 0;
    }
    const int lines = static_cast<int>(together.history.transfers.size() + together.history.issues.size());
    EXPECT_GT(lines, 30);
    EXPECT_GT(priced, lines * 3 / 4) << "most lines find a stock to be priced from";
  }
}

}  // namespace
}  // namespace talvix
