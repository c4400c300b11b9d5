// When the library sees what other users committed: from the run's start and, unless the run named
// its period, from each step's operation-log entry. And the movement kinds' table agrees
// with the tables the tool writes costs to.
#include "pricing/movement_kinds.h"
#include "pricing/write_statement.h"
#include "pricing_fixture.h"

#include <functional>

namespace talvix::pricing {
namespace {

TEST_F(PricingTest, OtherUsersWorkIsSeenFromTheNextRunOrStep) {
  const int g = db.goods();
  db.receipt({.date = day(2), .goods = g, .qty = 5, .price = 2});
  auto step = [&] { library->PutInOperacija("Tests", day(1), "", "", 0, "", nullptr, 0); };
  auto run = [&] { library->newMylaiks(); };
  auto namedRun = [&] {
    library->newMylaiks();
    library->ExpectPeriod(day(1), day(31));
  };
  const struct {
    const char* name;
    std::function<void()> start, event;
    double stock;  // after another user's receipt of 3 and the event
  } rows[] = {
      {"a step of a run without a period", run, step, 8},
      {"a step of a run that named its period", namedRun, step, 5},
      {"the next run", namedRun, namedRun, 8},
      {"nothing", namedRun, [] {}, 5},
  };
  double added = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    row.start();
    const double before = library->PrecValid(g, 1, day(10));
    db.receipt({.date = day(3), .goods = g, .qty = 3, .price = 2});
    added += 3;
    row.event();
    EXPECT_EQ(library->PrecValid(g, 1, day(10)) - before, row.stock - 5);
    // Every row starts from what the database holds.
    run();
    EXPECT_EQ(library->PrecValid(g, 1, day(10)), 5 + added);
  }
}

// A kind whose lines' cost the cache follows names the table and column the tool's single-line
// cost updates write, as the classification of those writes reads them.
TEST(MovementKinds, FollowedCostsAreTheOnesTheToolWritesLineByLine) {
  int followed = 0;
  for (const MovementKindRow& row : kMovementKindRows) {
    SCOPED_TRACE(row.told);
    EXPECT_EQ(rowOf(row.kind).lines, row.lines);
    if (!row.followedCost) continue;
    ++followed;
    for (const CostTarget& target : costTargets()) {
      if (target.cost != *row.followedCost) continue;
      EXPECT_EQ(target.table, row.lines);
      const WriteStatement w = classifyWrite("UPDATE " + std::string(target.table) + " SET " +
                                             std::string(target.column) + " = :V WHERE ISN = :ISN");
      EXPECT_EQ(w.effect, WriteStatement::Effect::SingleRowCost);
      EXPECT_EQ(w.column, *row.followedCost);
    }
  }
  EXPECT_EQ(followed, 3);  // transfers in, returns, goods balances
}

}  // namespace
}  // namespace talvix::pricing
