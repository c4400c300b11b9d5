// What another program commits while a continuous FIFO run lives is what the run's next pass prices
// from, exactly as a fresh run on the changed database would; a commit that lands in the middle of
// a pass leaves that pass pricing from what its snapshot saw. Each row commits one change to a live
// run, either while it rests or while another attachment holds lines the first pass has still to
// write, and to a copy of what a one-pass run leaves; after the live run's next passes every cost
// equals the copy's after a fresh run. The period is the last third of the history, so the library
// folds the history before it. Every row runs in each of a shop's conditions
// (support/shop_conditions.h): as SYSDBA, beside a clerk's open sale, as a plain user, on a Classic
// server, and as a plain user on a Classic server.
//
// A second test holds the run to its stated bound for a change only the whole look sees: with
// windows of 50 keys and a whole look every 4 s, an edit far under the highest key that lets a sale
// stuck without cost be priced is priced within the bound, as a fresh run prices it.
#include "data/connection.h"
#include "data/document_tables.h"
#include "data/query.h"
#include "server_run_fixture.h"
#include "step/run_settings.h"
#include "support/shop_conditions.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <optional>
#include <thread>

namespace talvix::test {
namespace {

using namespace std::chrono_literals;

constexpr char kPassStart[] = "Sāku FIFO ...";
const DateTime kLastDay = makeDate(2026, 3, 31);
const DateTime kFirstDay = kLastDay - 13;

// The steps in the order a pass takes them, with their headings.
constexpr std::pair<DocumentKind, const char*> kSteps[] = {
    {DocumentKind::Balance, "Aprēķinu pašizmaksu atlikumiem ..."},
    {DocumentKind::Transfer, "Aprēķinu pārvietošanu ..."},
    {DocumentKind::Issue, kIssuesHeading},
    {DocumentKind::Return, "Aprēķinu atgriešanu ..."},
};

// Day n of the period (negative: before it) as an SQL literal.
std::string at(int n) { return "'" + formatIsoDate(kFirstDay + n) + "'"; }

// The stockable goods of the lines L.
const std::string kGoodsNotService =
    " JOIN N_KLPREC G ON G.ISN = L.ISPRECE WHERE (G.PAKALPOJ IS NULL OR G.PAKALPOJ = 'F')";
// The first receipt of department 1, made with the opening balances: its layers are the oldest, so
// the period's sales still take them.
const std::string kFirstReceipt = "(SELECT MIN(ISN) FROM O_PAVADZ WHERE ISNODALA = 1)";
// Where a change lands: in the step of a kind, while the lines of that kind from the given day of
// the period on are still to be priced; or, without a step, between two passes, and then the
// period's costs are cleared with it so that the next pass prices the whole period anew.
struct Landing {
  std::optional<DocumentKind> step;
  int day;
};
constexpr Landing kBetweenPasses{std::nullopt, 0};

struct Change {
  std::string name;
  Landing landing;
  std::vector<std::string> sql;
};

// For the mid-pass rows to land on, in the period and without cost: a count of goods 1 to 10 in
// department 1, and two returns to a client with no sale (the step takes them in no set order).
const std::vector<std::string> kBaseAdditions = {
    "INSERT INTO O_PRATL_PAV (ISN, DATUMS, ISNODALA) VALUES (900001, " + at(4) + ", 1)",
    "INSERT INTO O_PRATL_PRC (ISN, ISPRATLPAV, ISPRECE, DAUDZUMS) SELECT 900100 + ISN, 900001, ISN, 3 FROM N_KLPREC "
    "WHERE ISN <= 10",
    "INSERT INTO O_ATGPAV (ISN, DATUMS, ISNODALA, ISKLIENT, FROM_WHAT) VALUES (900002, " + at(6) + ", 1, 9999, 2)",
    "INSERT INTO O_ATGPRC (ISN, ISATGPAV, ISPRECE, DAUDZUMS, CENA, PIECENOJ) SELECT FIRST 1 900003, 900002, "
    "L.ISPRECE, 1, 12.34, 0 FROM O_PRATL_PRC L" +
        kGoodsNotService + " ORDER BY L.ISN",
    "INSERT INTO O_ATGPRC (ISN, ISATGPAV, ISPRECE, DAUDZUMS, CENA, PIECENOJ) SELECT 900004, 900002, ISPRECE, 1, CENA, "
    "PIECENOJ FROM O_ATGPRC WHERE ISN = 900003",
};

std::vector<Change> changes() {
  // A sale of day n in department d of the goods of the first stockable sale there that day.
  const auto sale = [](int isn, int n, int dept, double quantity) -> std::vector<std::string> {
    return {"INSERT INTO O_PAVOUT (ISN, DATUMS, ISNODALA) VALUES (" + std::to_string(isn) + ", " + at(n) + ", " +
                std::to_string(dept) + ")",
            "INSERT INTO O_PRCOUT (ISN, ISPAVOUT, ISPRECE, DAUDZUMS) SELECT FIRST 1 " + std::to_string(isn + 1) + ", " +
                std::to_string(isn) + ", L.ISPRECE, " + std::to_string(quantity) +
                " FROM O_PRCOUT L JOIN O_PAVOUT H ON H.ISN = L.ISPAVOUT" + kGoodsNotService + " AND H.DATUMS = " +
                at(n) + " AND H.ISNODALA = " + std::to_string(dept) + " AND L.DAUDZUMS > 0 ORDER BY L.ISN"};
  };
  return {
      {"a new sale line", kBetweenPasses, sale(910001, 9, 2, 4)},
      {"an old receipt's prices",
       kBetweenPasses,
       {"UPDATE O_PRECE SET CENA = CENA * 1.5 + 1 WHERE ISPAVADZ = " + kFirstReceipt}},
      {"an old receipt's quantities",
       kBetweenPasses,
       {"UPDATE O_PRECE SET DAUDZUMS = 1 WHERE ISPAVADZ = " + kFirstReceipt}},
      {"an old receipt moved into the period",
       kBetweenPasses,
       {"UPDATE O_PAVADZ SET DAT_SANEM = " + at(5) + " WHERE ISN = " + kFirstReceipt}},
      {"a receipt moved out of the period, before the history",
       kBetweenPasses,
       {"UPDATE O_PAVADZ SET DAT_SANEM = " + at(-30) +
        " WHERE ISN = (SELECT MIN(ISN) FROM O_PAVADZ WHERE DAT_SANEM >= " + at(0) + " AND ISNODALA = 1)"}},
      {"an old receipt moved to another department",
       kBetweenPasses,
       {"UPDATE O_PAVADZ SET ISNODALA = 2 WHERE ISN = " + kFirstReceipt}},
      {"an old receipt deleted",
       kBetweenPasses,
       {"DELETE FROM O_PRECE WHERE ISPAVADZ = " + kFirstReceipt, "DELETE FROM O_PAVADZ WHERE ISN = " + kFirstReceipt}},
      {"a new goods-balance document",
       kBetweenPasses,
       {"INSERT INTO O_PRATL_PAV (ISN, DATUMS, ISNODALA) VALUES (910010, " + at(7) + ", 3)",
        "INSERT INTO O_PRATL_PRC (ISN, ISPRATLPAV, ISPRECE, DAUDZUMS) SELECT 910100 + ISN, 910010, ISN, 4 "
        "FROM N_KLPREC WHERE ISN BETWEEN 11 AND 20"}},
      // Mid-pass: large quantities, so that stock figures read after the commit would change which
      // layers the pass's later lines take.
      {"a second count in the balances step",
       {DocumentKind::Balance, 4},
       {"INSERT INTO O_PRATL_PAV (ISN, DATUMS, ISNODALA) VALUES (920001, " + at(4) + ", 1)",
        "INSERT INTO O_PRATL_PRC (ISN, ISPRATLPAV, ISPRECE, DAUDZUMS) SELECT 920100 + ISN, 920001, ISN, 50 "
        "FROM N_KLPREC WHERE ISN <= 10"}},
      {"a new transfer in the transfers step",
       {DocumentKind::Transfer, 6},
       {"INSERT INTO O_PARPAV (ISN, DATUMS, ISNODALANO, ISNODALAUZ) VALUES (920010, " + at(6) + ", 1, 2)",
        "INSERT INTO O_PARPRC (ISN, ISPARVPAV, ISPRECE, DAUDZUMS, CENA) SELECT FIRST 1 920011, 920010, L.ISPRECE, 500, "
        "0 FROM O_PRCOUT L JOIN O_PAVOUT H ON H.ISN = L.ISPAVOUT" +
            kGoodsNotService + " AND H.DATUMS = " + at(13) + " AND H.ISNODALA = 1 ORDER BY L.ISN"}},
      {"a new sale in the issues step", {DocumentKind::Issue, 8}, sale(920020, 8, 1, 80)},
      {"a sale and its return in the returns step",
       {DocumentKind::Return, 6},
       {"INSERT INTO O_PAVOUT (ISN, DATUMS, ISNODALA, ISKLIENT) VALUES (920030, " + at(6) + ", 1, 9999)",
        "INSERT INTO O_PRCOUT (ISN, ISPAVOUT, ISPRECE, DAUDZUMS, CENA, PIECENOJ, IEP_CENA) SELECT 920031, 920030, "
        "ISPRECE, 1, CENA, PIECENOJ, 99.5 FROM O_ATGPRC WHERE ISN = 900003",
        "INSERT INTO O_ATGPAV (ISN, DATUMS, ISNODALA, ISKLIENT, FROM_WHAT) VALUES (920032, " + at(6) + ", 1, 9999, 2)",
        "INSERT INTO O_ATGPRC (ISN, ISATGPAV, ISPRECE, DAUDZUMS, CENA, PIECENOJ) SELECT 920033, 920032, ISPRECE, 1, "
        "CENA, PIECENOJ FROM O_ATGPRC WHERE ISN = 900003"}},
  };
}

// "UPDATE <lines> SET <cost> = <value> WHERE <its header> is dated in [from, to]" for the kind.
std::string costUpdate(DocumentKind kind, const std::string& value, const std::string& from, const std::string& to) {
  const DocumentTables& t = tablesOf(kind);
  return std::string("UPDATE ") + t.lines + " SET " + t.cost + " = " + value + " WHERE " + t.headerKey +
         " IN (SELECT ISN FROM " + t.header + " WHERE " + t.date + " BETWEEN " + from + " AND " + to + ")";
}

void commit(const std::string& connection, const std::vector<std::string>& statements) {
  Connection db;
  db.setDatabaseName(connection);
  db.open();
  for (const std::string& sql : statements) db.executeImmediate(sql);
  db.defaultTransaction().commit();
  db.close();
}

// The change as it is committed: with the period's costs cleared when it lands between passes.
std::vector<std::string> committed(const Change& change) {
  std::vector<std::string> statements = change.sql;
  if (!change.landing.step)
    for (const DocumentKind kind : kAllKinds) statements.push_back(costUpdate(kind, "0", at(0), at(13)));
  return statements;
}

// The lines of the kind's step and the steps after it.
Costs fromStep(const Costs& all, DocumentKind kind) {
  Costs result;
  bool from = false;
  for (const auto& [step, heading] : kSteps) {
    from = from || step == kind;
    if (!from) continue;
    for (const auto& [key, cost] : all)
      if (key.first == tablesOf(step).lines) result.emplace(key, cost);
  }
  return result;
}

class LiveChangesTest : public ServerRunTest, public ::testing::WithParamInterface<Condition> {
 protected:
  LiveChangesTest() : ServerRunTest(serverMode(GetParam())) {}

  // The live run's: the condition's user, and the watch's tuning when given.
  HostOptions liveHost(std::vector<std::pair<std::string, std::string>> tuning = {}) const {
    HostOptions options;
    options.environment = hostCredentials(GetParam());
    options.environment.insert(options.environment.end(), tuning.begin(), tuning.end());
    return options;
  }

  // The base database as the condition has it: the plain user granted what README names.
  std::string makeBase(const std::vector<std::string>& additions) {
    const std::string base =
        makeDemo("base.fdb", {.goods = 30, .departments = 3, .days = 40, .lines = 1200, .lastDay = kLastDay});
    // Every copy inherits it; a commit per priced line would otherwise take most of the time.
    setForcedWrites(base, false);
    commit(base, additions);
    if (asPlainUser(GetParam())) grantPlainUser(base);
    return base;
  }

  std::string registry(const std::string& connection) {
    return registryFor(connection, kOnlyWithoutCost, kFirstDay, kLastDay);
  }

  // A fresh run of `passes` on a copy of `fromFile` after the statements; its costs.
  Costs freshRun(const std::string& fromFile, const std::string& toFile, const std::vector<std::string>& statements,
                 int passes) {
    const std::string copy = copyDatabase(fromFile, toFile);
    commit(copy, statements);
    runToEnd(registry(copy), {"--passes", std::to_string(passes)}, 300s);
    return costs(copy);
  }

  // Index of the log entry that ends the count-th pass from entry `from` on.
  static std::optional<std::size_t> passesEnded(HostRun& run, int count, std::size_t from) {
    std::optional<std::size_t> end;
    for (int i = 0; i < count; ++i, from = *end + 1)
      if (!(end = run.waitForText(kPassDone, 300s, from))) return std::nullopt;
    return end;
  }

  static bool failed(const std::string& what, HostRun& run) {
    ADD_FAILURE() << what << "\n" << printable(run.texts());
    return false;
  }

  static void stop(HostRun& run) {
    run.signal(SIGTERM);
    const auto status = run.waitExit(60s);
    ASSERT_TRUE(status) << "did not stop on SIGTERM\n" << printable(run.texts());
    EXPECT_EQ(*status, 0) << run.errors();
    for (const std::string& text : run.texts()) EXPECT_FALSE(startsWith(text, kPassFailed)) << text;
  }

  // The first pass prices the period, the second finds nothing more and the run rests: the change
  // lands there. Then two more passes.
  bool commitBetweenPasses(HostRun& run, const std::string& live, const Change& change) {
    const auto second = passesEnded(run, 2, 0);
    if (!second) return failed("the first two passes did not end", run);
    const std::vector<std::string> log = run.texts();
    for (std::size_t i = *second; i < log.size(); ++i)
      if (log[i] == kPassStart) return failed("a pass started before the change was committed", run);
    commit(live, committed(change));
    return passesEnded(run, 2, *second + 1) || failed("the passes after the change did not end", run);
  }

  // Another attachment holds the lines of the kind from the change's day on, so the first pass
  // cannot write them before it lets go: a line may be priced before its write waits, every later
  // one is priced after the commit. True when the first pass writes a cost on that day, so that
  // the step cannot end before the hold is let go.
  bool hold(Connection& holder, const std::string& live, const Landing& landing) {
    const DocumentTables& t = tablesOf(*landing.step);
    Connection priced;
    priced.setDatabaseName(server.connectionString(server.file("priced.fdb")));
    priced.open();
    Query written(priced);
    written.setSql(std::string("SELECT COUNT(*) FROM ") + t.lines + " L JOIN " + t.header + " H ON H.ISN = L." +
                   t.headerKey + " WHERE H." + t.date + " = " + at(landing.day) + " AND L." + t.cost + " <> 0");
    written.open();
    EXPECT_GT(written.asInteger(0), 0) << "the first pass writes no cost of the kind on the change's day";
    if (written.asInteger(0) == 0) return false;
    holder.setDatabaseName(live);
    holder.open();
    holder.executeImmediate(costUpdate(*landing.step, t.cost, at(landing.day), at(13)));
    return true;
  }

  bool commitMidPass(HostRun& run, Connection& holder, const std::string& live, const Change& change) {
    const auto step = std::find_if(std::begin(kSteps), std::end(kSteps),
                                   [&](const auto& s) { return s.first == *change.landing.step; });
    const auto heading = run.waitForText(step->second, 300s);
    if (!heading) return failed("the step did not start", run);
    commit(live, change.sql);
    // The kinds' lines are priced together in date order: the pass's end would show it had ended.
    const std::vector<std::string> log = run.texts();
    for (std::size_t i = *heading + 1; i < log.size(); ++i)
      if (log[i] == kPassDone) return failed("commit did not land mid-pass", run);
    holder.defaultTransaction().deactivate();
    return passesEnded(run, 3, 0) || failed("the passes after the change did not end", run);
  }

  void check(const Change& change, const std::string& name) {
    const std::optional<DocumentKind> step = change.landing.step;
    // The first pass as the live run makes it, the change, then a fresh run.
    const Costs expected = freshRun("priced.fdb", name + "-reference.fdb", committed(change), 2);
    if (step) {
      // Had the pass seen the change, what it priced after the commit would differ.
      const Costs seen = freshRun("base.fdb", name + "-seen.fdb", change.sql, 2);
      EXPECT_FALSE(sameCosts(fromStep(seen, *step), fromStep(expected, *step)))
          << "the pass would price the same had it seen the change";
    } else {
      EXPECT_FALSE(sameCosts(expected, unchanged_)) << "the change alters no cost";
    }

    const std::string live = copyDatabase("base.fdb", name + "-live.fdb");
    Connection holder;
    if (step && !hold(holder, live, change.landing)) return;
    std::optional<ClerkDocument> clerk;
    if (clerkOpen(GetParam())) clerk.emplace(live, kLastDay, 1);
    HostRun run(registry(live), {}, liveHost());
    if (!(step ? commitMidPass(run, holder, live, change) : commitBetweenPasses(run, live, change))) return;
    stop(run);
    clerk.reset();
    EXPECT_TRUE(sameCosts(costs(live), expected));
  }

  Costs unchanged_;
};

TEST_P(LiveChangesTest, OthersCommitsArePricedByTheNextPassAsByAFreshRunNeverByThePassTheyLandIn) {
  makeBase(kBaseAdditions);
  freshRun("base.fdb", "priced.fdb", {}, 1);
  unchanged_ = freshRun("priced.fdb", "unchanged.fdb", committed({}), 2);

  const std::vector<Change> rows = changes();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].name);
    check(rows[i], "row" + std::to_string(i));
  }
}

// A goods new to the shop with a sale in the period and no receipt (priced 0 and left quiet), and a
// receipt of another goods far under the highest key. The change moves that receipt's line to the
// new goods, which gives the sale a layer; only a whole look sees it where the counts cannot.
constexpr int kNewGoods = 5000;
constexpr int kStuckSale = 930001;
const std::vector<std::string> kDeepAdditions = {
    "INSERT INTO N_KLPREC (ISN, NOSAUKUMS, PAKALPOJ, CENA1) VALUES (5000, 'Jauna prece', 'F', 20)",
    "INSERT INTO O_PAVOUT (ISN, DATUMS, ISNODALA) VALUES (930000, " + at(9) + ", 1)",
    "INSERT INTO O_PRCOUT (ISN, ISPAVOUT, ISPRECE, DAUDZUMS) VALUES (930001, 930000, 5000, 1)",
    "INSERT INTO O_PAVADZ (ISN, DAT_SANEM, ISNODALA) VALUES (50, " + at(-20) + ", 1)",
    "INSERT INTO O_PRECE (ISN, ISPAVADZ, ISPRECE, DAUDZUMS, CENA) VALUES (51, 50, 1, 10, 7.25)",
};
const std::vector<std::string> kDeepEdit = {"UPDATE O_PRECE SET ISPRECE = 5000 WHERE ISN = 51"};
constexpr int kWholeLookSeconds = 4;
// A pass of the small history, with room for a loaded machine.
constexpr int kPassSecondsAtMost = 5;

TEST_P(LiveChangesTest, AnEditDeepInTheHistoryIsPricedFromWithinTheStatedBound) {
  makeBase(kDeepAdditions);
  freshRun("base.fdb", "priced.fdb", {}, 1);
  const Costs expected = freshRun("priced.fdb", "deep-reference.fdb", kDeepEdit, 2);
  const CostKey stuck{kIssueTable, kStuckSale};
  ASSERT_TRUE(isPriced(expected.at(stuck))) << "the edit gives the stuck sale no layer";

  const std::string live = copyDatabase("base.fdb", "deep-live.fdb");
  std::optional<ClerkDocument> clerk;
  if (clerkOpen(GetParam())) clerk.emplace(live, kLastDay, 1);
  HostRun run(registry(live), {},
              liveHost({{"TALVIX_WATCH_WINDOW_KEYS", "50"},
                        {"TALVIX_WHOLE_LOOK_SECONDS", std::to_string(kWholeLookSeconds)}}));
  ASSERT_TRUE(passesEnded(run, 2, 0)) << printable(run.texts());
  ASSERT_FALSE(isPriced(costs(live).at(stuck))) << "priced before the edit";
  commit(live, kDeepEdit);
  const auto committed = Clock::now();
  const auto bound = std::chrono::seconds(kWholeLookSeconds + 2 * kPassSecondsAtMost);
  while (!isPriced(costs(live).at(stuck)) && Clock::now() - committed < bound + 10s)
    std::this_thread::sleep_for(100ms);
  const double seconds = std::chrono::duration<double>(Clock::now() - committed).count();
  RecordProperty("seconds_to_price", std::to_string(seconds));
  std::printf("%s: the stuck sale priced %.2f s after the deep edit's commit (bound %ld s)\n",
              conditionName(GetParam()), seconds, static_cast<long>(bound.count()));
  EXPECT_LE(seconds, std::chrono::duration<double>(bound).count());
  // Two more passes: nothing else is left to change.
  const auto now = run.texts().size();
  passesEnded(run, 1, now);
  stop(run);
  clerk.reset();
  EXPECT_TRUE(sameCosts(costs(live), expected));
}

INSTANTIATE_TEST_SUITE_P(Conditions, LiveChangesTest, ::testing::ValuesIn(kAllConditions),
                         [](const auto& info) {
                           std::string name = conditionName(info.param);
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace talvix::test
