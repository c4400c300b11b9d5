// When the library sees what other users committed: from the run's start and, unless the run named
// its period, from each step's operation-log entry, or, in a continuous run, from the next pass for
// the goods the changes reach. And the movement kinds' table agrees with the tables the tool writes
// costs to.
#include "data/document_changes.h"
#include "pricing/movement_kinds.h"
#include "pricing/write_statement.h"
#include "pricing_fixture.h"

#include <functional>
#include <memory>
#include <string>

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

// A continuous run's passes as the FIFO run drives the library: each in a snapshot of its own, told
// what other programs changed since the last. The first pass asks about enough goods to read every
// goods in one pass over the tables; then another program commits a receipt and a sale of one goods,
// and the next pass must answer about it as a fresh run does.
TEST_F(PricingTest, AnotherProgramsLinesAreSeenByTheNextPassOfAContinuousRun) {
  constexpr int kHeldGoods = 25;  // beyond the goods a run reads one by one
  std::vector<int> held;
  for (int i = 0; i < kHeldGoods; ++i) {
    held.push_back(db.goods());
    db.receipt({.date = day(2), .goods = held.back(), .qty = 10, .price = 1});
    db.receipt({.date = day(12), .goods = held.back(), .qty = 10, .price = 2});
  }
  const int foldedOnly = db.goods();
  db.receipt({.date = day(3), .goods = foldedOnly, .qty = 6, .price = 1.5});
  const int withoutLines = db.goods();
  const struct {
    const char* name;
    std::function<int()> goods;
  } rows[] = {
      {"a goods without a line at the last read", [&] { return withoutLines; }},
      {"a goods registered since", [&] { return db.goods(); }},
      {"a goods held", [&] { return held.front(); }},
      {"a goods held only as its fold", [&] { return foldedOnly; }},
  };
  Connection& connection = library->mainFormDati().PRECES_DB;
  DocumentWatch watch;
  // One pass; ask runs between its start and its end.
  const auto pass = [&](const std::function<void()>& ask) {
    library->newMylaiks();
    library->ExpectPeriod(day(10), day(31));
    connection.defaultTransaction().commit();
    watch.beforeSnapshot(connection);
    Transaction snapshot(connection, Transaction::Kind::ReadOnlySnapshot);
    library->PassStarted(snapshot, watch.look(connection, snapshot).othersOnly());
    ask();
    library->PassEnded();
    snapshot.commit();
  };
  pass([&] {
    for (const int g : held) library->PrecValid(g, 1, day(20));
  });
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const int g = row.goods();
    db.receipt({.date = day(15), .goods = g, .qty = 4, .price = 3});
    db.issue({.date = day(20), .goods = g, .qty = 2});
    double stock = 0, cost = 0;
    std::vector<std::string> layers;
    pass([&] {
      stock = library->PrecValid(g, 1, day(20));
      cost = library->GetPasizmaksa(g, 1, day(20), stock, 2, 2, layers);
    });
    std::unique_ptr<PricingLibrary> fresh = MainFormDatiDll();
    fresh->mainFormDati().PRECES_DB.setDatabaseName(db.path());
    fresh->mainFormDati().connect();
    fresh->newMylaiks();
    const double freshStock = fresh->PrecValid(g, 1, day(20));
    EXPECT_GT(freshStock, 0);
    EXPECT_EQ(stock, freshStock);
    EXPECT_EQ(cost, fresh->GetPasizmaksa(g, 1, day(20), freshStock, 2, 2, layers));
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
