// With the real pricing library, both methods and every mode: one run gives each line the cost it
// has when every line dated before it holds its final cost. A second identical run changes no cost,
// and one run over the period writes what runs of one day at a time, in date order, write. Lines of
// one day that read each other follow the rule the README gives, one row per case.
#include "pricing/library.h"
#include "run/fifo_run.h"
#include "run/weighted_average_run.h"
#include "support/dice.h"
#include "support/run_fixture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace talvix {
namespace {

using test::TestDatabase;

DateTime day(int d) { return makeDate(2026, 3, 1) + d - 1; }

// Every cost column of every line, NULL as nullopt, compared bit for bit.
using Costs = std::map<std::string, std::optional<double>>;

// A line's key among them: its table and key.
std::string lineName(DocumentKind kind, int isn) { return std::string(tablesOf(kind).lines) + std::to_string(isn); }

Costs costsOf(TestDatabase& db) {
  Costs costs;
  for (const DocumentKindRow& row : kDocumentKinds) {
    Query q(db.connection());
    q.setSql(std::string("SELECT ISN, ") + row.tables.cost + " FROM " + row.tables.lines);
    q.open();
    for (q.first(); !q.eof(); q.next())
      costs[lineName(row.kind, q.asInteger(0))] = q.isNull(1) ? std::nullopt : std::optional<double>(q.asDouble(1));
  }
  return costs;
}

int changed(const Costs& before, const Costs& after) {
  int n = 0;
  for (const auto& [line, cost] : after) n += before.at(line) != cost;
  return n;
}

struct Modes {
  const char* name;
  int balances, transfers, issues, returns;
};
constexpr Modes kModes[] = {{"only without cost", 1, 1, 1, 1},
                            {"all anew", 2, 2, 2, 2},
                            {"all anew but balances", 1, 2, 2, 2}};

// The window's parts around the real library on one database.
struct Shop {
  explicit Shop(bool fifo) : library(pricing::MainFormDatiDll()) {
    fx.db.setFifo(fifo ? 1 : 0);
    fifo_ = fifo;
    library->mainFormDati().PRECES_DB.setDatabaseName(fx.db.path());
    library->mainFormDati().connect();
  }
  void run(const Modes& modes, DateTime first, DateTime last) {
    fx.settings.balances = modes.balances;
    fx.settings.transfers = modes.transfers;
    fx.settings.issues = modes.issues;
    fx.settings.returns = modes.returns;
    fx.period(first, last);
    RunContext ctx = fx.context(library.get());
    fifo_ ? FifoRun(ctx) : WeightedAverageRun(ctx);
  }
  Costs costs() { return costsOf(fx.db); }

  test::RunFixture fx;
  std::unique_ptr<PricingLibrary> library;
  bool fifo_;
};

// A history written the same into any database, with the lines a case checks by name, keyed as
// costsOf keys them.
using Named = std::map<std::string, std::string>;
std::string T(int isn) { return lineName(DocumentKind::Transfer, isn); }
std::string I(int isn) { return lineName(DocumentKind::Issue, isn); }
std::string R(int isn) { return lineName(DocumentKind::Return, isn); }
using History = std::function<Named(TestDatabase&)>;

struct Expected {
  const char* line;
  double cost;
};

struct SameDay {
  const char* name;
  History write;
  std::vector<Expected> fifo;
  std::vector<Expected> average;
};

// Dept 1 holds 5 units at 4; dept 2 sold one at 9 to client 7 (sale price 10), which comes back into
// dept 1 on the day dept 1 issues six: the issue takes the returned unit at its cost.
Named returnThenIssue(TestDatabase& db) {
  const int g = db.goods();
  db.receipt({.date = day(1), .dept = 1, .goods = g, .qty = 5, .price = 4});
  db.receipt({.date = day(1), .dept = 2, .goods = g, .qty = 5, .price = 9});
  db.issue({.date = day(2), .dept = 2, .goods = g, .qty = 1, .price = 10, .client = 7});
  return {{"return", R(db.returned({.date = day(5), .dept = 1, .goods = g, .qty = 1, .price = 10, .client = 7}))},
          {"issue", I(db.issue({.date = day(5), .dept = 1, .goods = g, .qty = 6, .price = 12, .client = 8}))}};
}

// A sale and its return on one day: the sale first, without the returned unit, the return at its cost.
Named saleAndReturn(TestDatabase& db) {
  const int g = db.goods();
  db.receipt({.date = day(1), .dept = 1, .goods = g, .qty = 5, .price = 4});
  db.receipt({.date = day(3), .dept = 1, .goods = g, .qty = 1, .price = 10});
  return {{"sale", I(db.issue({.date = day(5), .dept = 1, .goods = g, .qty = 2, .price = 10, .client = 7}))},
          {"return", R(db.returned({.date = day(5), .dept = 1, .goods = g, .qty = 1, .price = 10, .client = 7}))}};
}

// The same, the sale after another goods' sale in its kind's select and the return first in its
// own: the kinds' run order still puts the sale first.
Named saleAndReturnAfterAnotherSale(TestDatabase& db) {
  const int other = db.goods();
  db.receipt({.date = day(1), .dept = 1, .goods = other, .qty = 5, .price = 3});
  db.issue({.date = day(5), .dept = 1, .goods = other, .qty = 1, .price = 6, .client = 7});
  return saleAndReturn(db);
}

// Goods move 3 -> 2 -> 1 on one day and dept 1 sells them: each after the stock it takes.
Named throughThreeDepartments(TestDatabase& db) {
  const int g = db.goods();
  db.receipt({.date = day(1), .dept = 3, .goods = g, .qty = 10, .price = 4});
  return {{"3 to 2", T(db.transfer({.date = day(5), .from = 3, .to = 2, .goods = g, .qty = 5}))},
          {"2 to 1", T(db.transfer({.date = day(5), .from = 2, .to = 1, .goods = g, .qty = 5}))},
          {"sale", I(db.issue({.date = day(5), .dept = 1, .goods = g, .qty = 2, .price = 10}))}};
}

// Two departments send each other the goods on one day: the lower sender goes first.
Named eachOther(TestDatabase& db) {
  const int g = db.goods();
  db.receipt({.date = day(1), .dept = 1, .goods = g, .qty = 4, .price = 4});
  db.receipt({.date = day(1), .dept = 2, .goods = g, .qty = 4, .price = 8});
  return {{"1 to 2", T(db.transfer({.date = day(5), .from = 1, .to = 2, .goods = g, .qty = 2}))},
          {"2 to 1", T(db.transfer({.date = day(5), .from = 2, .to = 1, .goods = g, .qty = 6}))}};
}

// A chain over days: a return priced from a sale, a resale taking the returned unit, its return.
Named returnsAndResales(TestDatabase& db) {
  const int g = db.goods();
  db.receipt({.date = day(1), .dept = 2, .goods = g, .qty = 2, .price = 9});
  db.issue({.date = day(2), .dept = 2, .goods = g, .qty = 1, .price = 10, .client = 7});
  db.returned({.date = day(3), .dept = 1, .goods = g, .qty = 1, .price = 10, .client = 7});
  db.issue({.date = day(4), .dept = 1, .goods = g, .qty = 1, .price = 11, .client = 8});
  return {{"second return", R(db.returned({.date = day(6), .dept = 1, .goods = g, .qty = 1, .price = 11, .client = 8}))},
          {"last sale", I(db.issue({.date = day(7), .dept = 1, .goods = g, .qty = 1, .price = 11, .client = 9}))}};
}

const SameDay kSameDay[] = {
    {"a return into a department and an issue out of it", returnThenIssue,
     {{"return", 9}, {"issue", 29.0 / 6}}, {{"return", 9}, {"issue", 29.0 / 6}}},
    {"a sale and its return", saleAndReturn, {{"sale", 4}, {"return", 4}}, {{"sale", 5}, {"return", 5}}},
    {"a sale and its return, the sale later in its select", saleAndReturnAfterAnotherSale,
     {{"sale", 4}, {"return", 4}}, {{"sale", 5}, {"return", 5}}},
    {"transfers through three departments", throughThreeDepartments,
     {{"3 to 2", 4}, {"2 to 1", 4}, {"sale", 4}}, {{"3 to 2", 4}, {"2 to 1", 4}, {"sale", 4}}},
    {"two departments sending each other", eachOther, {{"1 to 2", 4}, {"2 to 1", 40.0 / 6}}, {{"1 to 2", 4}, {"2 to 1", 40.0 / 6}}},
    {"returns and resales", returnsAndResales, {{"second return", 9}, {"last sale", 9}},
     {{"second return", 9}, {"last sale", 9}}},
};

using test::Dice;

constexpr int kDays = 45;

// 45 days of 6 goods in 3 departments: receipts, transfers, 0-4 sales a day (some bringing goods
// back), 0-2 client returns (some of a sale the same day), goods balances, stale costs to reset.
History randomHistory(std::uint32_t seed) {
  return [seed](TestDatabase& db) {
    Dice dice(seed);
    int goods[6];
    for (int& g : goods) g = db.goods();
    const double prices[] = {10, 12, 15};
    auto stale = [&]() -> test::Cost { return dice.chance(20) ? test::Cost(1.5) : test::Cost(0.0); };
    for (int d = 1; d <= kDays; ++d) {
      for (int dept = 1; dept <= 3; ++dept) {
        const int g = goods[dice.roll(6)];
        if (dice.chance(30))
          db.receipt({.date = day(d), .dept = dept, .goods = g, .qty = 2.0 + dice.roll(8), .price = 3.0 + dice.roll(7)});
        if (dice.chance(25)) {
          const int to = 1 + (dept + dice.roll(2)) % 3;
          db.transfer({.date = day(d), .from = dept, .to = to, .goods = g, .qty = 1.0 + dice.roll(3), .cost = stale()});
        }
        if (dice.chance(5)) db.balance({.date = day(d), .dept = dept, .goods = g, .qty = 1.0 + dice.roll(4), .cost = stale()});
      }
      for (int n = dice.roll(5); n > 0; --n)
        db.issue({.date = day(d), .dept = 1 + dice.roll(3), .goods = goods[dice.roll(6)],
                  .qty = dice.chance(10) ? -1.0 : 1.0 + dice.roll(3), .cost = stale(), .price = prices[dice.roll(3)],
                  .client = 1 + dice.roll(4)});
      for (int n = dice.roll(3); n > 0; --n) {
        const int fromWhat = dice.roll(10);
        db.returned({.date = day(d), .dept = 1 + dice.roll(3), .goods = goods[dice.roll(6)], .qty = 1,
                     .cost = stale(), .price = prices[dice.roll(3)], .client = 1 + dice.roll(4),
                     .fromWhat = fromWhat == 0 ? std::nullopt : std::optional<int>(fromWhat == 1 ? 1 : 2)});
      }
    }
    return Named{};
  };
}

struct Settling {
  const char* name;
  History write;
  int days;
  const std::vector<Expected>* fifo;
  const std::vector<Expected>* average;
};

std::vector<Settling> settlings() {
  std::vector<Settling> rows;
  for (const SameDay& c : kSameDay) rows.push_back({c.name, c.write, 8, &c.fifo, &c.average});
  for (std::uint32_t seed : {1u, 2u, 3u})
    rows.push_back({"random history", randomHistory(seed), kDays, nullptr, nullptr});
  return rows;
}

TEST(SettledCosts, OneRunWritesWhatDateOrderGivesAndASecondChangesNothing) {
  for (const bool fifo : {true, false}) {
    for (const Modes& modes : kModes) {
      for (const Settling& row : settlings()) {
        SCOPED_TRACE(std::string(fifo ? "FIFO, " : "weighted average, ") + modes.name + ", " + row.name);
        Shop once(fifo), dayByDay(fifo);
        const Named lines = row.write(once.fx.db);
        row.write(dayByDay.fx.db);

        once.run(modes, day(1), day(row.days));
        const Costs first = once.costs();
        for (int d = 1; d <= row.days; ++d) dayByDay.run(modes, day(d), day(d));
        EXPECT_EQ(changed(dayByDay.costs(), first), 0) << "one run differs from runs of a day at a time";

        once.run(modes, day(1), day(row.days));
        EXPECT_EQ(changed(first, once.costs()), 0) << "the second identical run changed costs";

        const std::vector<Expected>* expected = fifo ? row.fifo : row.average;
        if (!expected) continue;
        for (const Expected& e : *expected) {
          ASSERT_TRUE(first.at(lines.at(e.line))) << e.line;
          EXPECT_NEAR(*first.at(lines.at(e.line)), e.cost, 1e-9) << e.line;
        }
      }
    }
  }
}

}  // namespace
}  // namespace talvix
