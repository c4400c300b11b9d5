// What a document watch reports between two snapshots when another attachment changes the documents.
#include "data/document_changes.h"
#include "data/query.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <tuple>
#include <unordered_set>
#include <vector>

namespace talvix {
namespace {

// The keys the setup writes, so the changes below can name them.
enum Key : int {
  kFlour = 1,
  kSugar = 2,
  kReceiptA = 1000,
  kLineA = 1001,
  kReceiptB = 1002,
  kLineB = 1003,
  kIssue = 1004,
  kIssueLine = 1005,
  kBelowHighest = 900,
  kNewHeader = 2000,
  kNewLine = 2001,
};

using Row = std::tuple<int, int, bool>;  // key, goods, newKey
struct Table {
  std::vector<Row> rows;
  std::int64_t rowsGone = 0;
  bool operator==(const Table&) const = default;
};
using Changes = std::map<std::string, Table>;

void PrintTo(const Table& t, std::ostream* os) {
  *os << "{rows " << ::testing::PrintToString(t.rows) << ", gone " << t.rowsGone << "}";
}

Changes asMap(const DocumentChanges& changes) {
  Changes out;
  for (const auto& [name, table] : changes.tables) {
    Table& t = out[name];
    for (const ChangedRow& r : table.rows) t.rows.emplace_back(r.key, r.goods, r.newKey);
    std::sort(t.rows.begin(), t.rows.end());
    t.rowsGone = table.rowsGone;
  }
  return out;
}

// What the other attachment's transaction does with the change before the first look; after it,
// the change is written (unless it already was) and committed.
enum class Before { Nothing, Written, WrittenAndCommittedRetaining };

struct Case {
  const char* name;
  std::vector<const char*> change;
  Changes expected;
  int scanned;  // tables the look after the change must read whole; the others' counts prove them
  Before before = Before::Nothing;
  int window = 0;  // tables read only by their window: an open writer at the first look left no base
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const Case kCases[] = {
    {"NothingChanged", {}, {}, 0},
    {"NewIssueDocument",
     {"INSERT INTO O_PAVOUT (ISN, DATUMS, ISNODALA) VALUES (2000, '2026-03-04', 1)",
      "INSERT INTO O_PRCOUT (ISN, ISPAVOUT, ISPRECE, DAUDZUMS, CENA) VALUES (2001, 2000, 2, 1, 3)"},
     {{"O_PAVOUT", {{{kNewHeader, kNoGoods, true}}}}, {"O_PRCOUT", {{{kNewLine, kSugar, true}}}}},
     0},
    {"ReceiptPriceEditedInTheSecondOfTheFirstLook",
     {"UPDATE O_PRECE SET CENA = 11 WHERE ISN = 1001"},
     {{"O_PRECE", {{{kLineA, kFlour, false}}}}},
     1},
    {"QuantitiesSwappedKeepingEverySum",
     {"UPDATE O_PRECE SET DAUDZUMS = 5 WHERE ISN = 1001", "UPDATE O_PRECE SET DAUDZUMS = 2 WHERE ISN = 1003"},
     {{"O_PRECE", {{{kLineA, kFlour, false}, {kLineB, kFlour, false}}}}},
     1},
    {"ValueSetToWhatItWas",
     {"UPDATE O_PRCOUT SET CENA = CENA WHERE ISN = 1005"},
     {{"O_PRCOUT", {{{kIssueLine, kSugar, false}}}}},
     1},
    {"DocumentMovedToAnotherDate",
     {"UPDATE O_PAVADZ SET DAT_SANEM = '2026-03-20' WHERE ISN = 1000"},
     {{"O_PAVADZ", {{{kReceiptA, kNoGoods, false}}}}},
     1},
    {"DocumentDeleted",
     {"DELETE FROM O_PRECE WHERE ISPAVADZ = 1000", "DELETE FROM O_PAVADZ WHERE ISN = 1000"},
     {{"O_PRECE", {{}, 1}}, {"O_PAVADZ", {{}, 1}}},
     2},
    {"LineInsertedBelowTheHighestKey",
     {"INSERT INTO O_PRECE (ISN, ISPAVADZ, ISPRECE, DAUDZUMS, CENA) VALUES (900, 1002, 2, 1, 4)"},
     {{"O_PRECE", {{{kBelowHighest, kSugar, false}}, -1}}},
     1},
    // The count alone cannot tell: a reader must treat an unknown key without a new key as unsafe.
    {"LineInsertedBelowTheHighestKeyBesideADeletedOne",
     {"INSERT INTO O_PRECE (ISN, ISPAVADZ, ISPRECE, DAUDZUMS, CENA) VALUES (900, 1002, 2, 1, 4)",
      "DELETE FROM O_PRECE WHERE ISN = 1001"},
     {{"O_PRECE", {{{kBelowHighest, kSugar, false}}, 0}}},
     1},
    {"GoodsRegisterChanged",
     {"UPDATE N_KLPREC SET CENA1 = 7 WHERE ISN = 2"},
     {{"N_KLPREC", {{{kSugar, kNoGoods, false}}}}},
     1},
    {"CommittedLongAfterItWrote",
     {"UPDATE O_PRCOUT SET DAUDZUMS = 3 WHERE ISN = 1005"},
     {{"O_PRCOUT", {{{kIssueLine, kSugar, false}}}}},
     0,
     Before::Written,
     1},
    {"WrittenAgainByAWriterThatCommittedRetainingBeforeTheFirstLook",
     {"UPDATE O_PRECE SET CENA = CENA + 1 WHERE ISN = 1003"},
     {{"O_PRECE", {{{kLineB, kFlour, false}}}}},
     0,
     Before::WrittenAndCommittedRetaining,
     1},
};

class DocumentWatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db.goodsWithKey(kFlour, "Milti");
    db.goodsWithKey(kSugar, "Cukurs");
    const DateTime day = makeDate(2026, 3, 2);
    ASSERT_EQ(db.receipt({.date = day, .goods = kFlour, .qty = 2, .price = 10}), kLineA);
    ASSERT_EQ(db.receipt({.date = day, .goods = kFlour, .qty = 5, .price = 12}), kLineB);
    ASSERT_EQ(db.issue({.date = day + 1, .goods = kSugar, .qty = 1, .price = 3}), kIssueLine);
    other.setDatabaseName(db.path());
    other.open();
  }

  // One pass: a snapshot, the look, the snapshot ended.
  DocumentChanges look() {
    db.connection().defaultTransaction().commit();
    watch.beforeSnapshot(db.connection());
    Transaction snapshot(db.connection(), Transaction::Kind::ReadOnlySnapshot);
    DocumentChanges changes = watch.look(db.connection(), snapshot);
    snapshot.commit();
    return changes;
  }

  // One pass as a user who cannot read the write counts makes it.
  DocumentChanges lookWithoutCounts() {
    db.connection().defaultTransaction().commit();
    Transaction snapshot(db.connection(), Transaction::Kind::ReadOnlySnapshot);
    DocumentChanges changes = watch.look(db.connection(), snapshot);
    snapshot.commit();
    return changes;
  }

  void write(const std::vector<const char*>& statements, Connection* by = nullptr) {
    for (const char* sql : statements) {
      Query q(by ? *by : other);
      q.setSql(sql);
      q.execSql();
    }
  }

  test::TestDatabase db;
  Connection other;  // another program's attachment to the same file
  DocumentWatch watch;
};

class DocumentWatchCase : public DocumentWatchTest, public ::testing::WithParamInterface<Case> {};

// The reader's own cost writes are told apart from another program's by the write counts.
TEST_F(DocumentWatchTest, TellsTheConnectionsOwnWritesFromOthers) {
  look();
  write({"UPDATE O_PRCOUT SET IEP_CENA = 2 WHERE ISN = 1005"}, &db.connection());
  DocumentChanges changes = look();
  EXPECT_EQ(changes.ownOnly, std::unordered_set<std::string>{"O_PRCOUT"});
  EXPECT_TRUE(changes.othersOnly().none());

  write({"UPDATE O_PRCOUT SET IEP_CENA = 3 WHERE ISN = 1005"}, &db.connection());
  db.connection().defaultTransaction().commit();
  write({"UPDATE O_PRECE SET CENA = 11 WHERE ISN = 1001", "UPDATE O_PRCOUT SET CENA = 4 WHERE ISN = 1005"});
  other.defaultTransaction().commit();
  changes = look();
  EXPECT_TRUE(changes.ownOnly.empty());
  EXPECT_EQ(asMap(changes.othersOnly()), asMap(changes));
  EXPECT_EQ(changes.tables.size(), 2u);
}

// Without the counts a look reads each table's window (here the two highest keys of each table);
// an edit under it is reported once the depth is due to be read whole, and only then.
TEST_F(DocumentWatchTest, WithoutCountsReadsTheWindowAtOnceAndTheDepthWhenDue) {
  watch.setWholeLook(std::chrono::hours(1), 2);
  EXPECT_FALSE(lookWithoutCounts().known);
  EXPECT_EQ(watch.lastReads().scanned, static_cast<int>(std::size(kWatchedTables)));
  EXPECT_FALSE(watch.wholeLookDue());
  write({"UPDATE O_PRECE SET CENA = 11 WHERE ISN = 1001", "UPDATE O_PRCOUT SET CENA = 4 WHERE ISN = 1005"});
  other.defaultTransaction().commit();

  EXPECT_EQ(asMap(lookWithoutCounts()), (Changes{{"O_PRCOUT", {{{kIssueLine, kSugar, false}}}}}));
  EXPECT_EQ(watch.lastReads().window, static_cast<int>(std::size(kWatchedTables)));
  ASSERT_TRUE(watch.wholeLookDue());
  EXPECT_GT(*watch.wholeLookDue(), DocumentWatch::Clock::now() + std::chrono::minutes(59));
  EXPECT_TRUE(lookWithoutCounts().none()) << "the depth is not due yet";

  watch.setWholeLook(std::chrono::seconds(0), 2);
  EXPECT_EQ(asMap(lookWithoutCounts()), (Changes{{"O_PRECE", {{{kLineA, kFlour, false}}}}}));
  EXPECT_EQ(watch.lastReads().scanned, static_cast<int>(std::size(kWatchedTables)));
  EXPECT_TRUE(lookWithoutCounts().none()) << "a change was reported twice";
}

// A deleted row and a row committed late under the highest key, in the window, are seen at once.
TEST_F(DocumentWatchTest, WithoutCountsTheWindowShowsDeletesAndLateRows) {
  watch.setWholeLook(std::chrono::hours(1), 3);
  lookWithoutCounts();
  write({"DELETE FROM O_PRCOUT WHERE ISN = 1005", "DELETE FROM O_PAVOUT WHERE ISN = 1004"});
  other.defaultTransaction().commit();
  EXPECT_EQ(asMap(lookWithoutCounts()), (Changes{{"O_PRCOUT", {{}, 1}}, {"O_PAVOUT", {{}, 1}}}));
  write({"INSERT INTO O_PAVOUT (ISN, DATUMS, ISNODALA) VALUES (1004, '2026-03-04', 1)",
         "INSERT INTO O_PRCOUT (ISN, ISPAVOUT, ISPRECE, DAUDZUMS) VALUES (1005, 1004, 1, 1)"});
  other.defaultTransaction().commit();
  EXPECT_EQ(asMap(lookWithoutCounts()), (Changes{{"O_PRCOUT", {{{kIssueLine, kFlour, false}}, -1}},
                                                 {"O_PAVOUT", {{{kIssue, kNoGoods, false}}, -1}}}));
}

// Without the counts the run's own writes are told by the number of the transaction that wrote them:
// reported (a kind's selection must be read again) but not to a reader that followed them.
TEST_F(DocumentWatchTest, WithoutCountsTellsTheRunsOwnWritesByTheirTransaction) {
  watch.setWholeLook(std::chrono::hours(1), 2);
  lookWithoutCounts();
  write({"UPDATE O_PRCOUT SET IEP_CENA = 2 WHERE ISN = 1005"}, &db.connection());
  watch.ownTransactions({db.connection().defaultTransaction().number()});
  db.connection().defaultTransaction().commitRetaining();
  write({"UPDATE O_PRCOUT SET IEP_CENA = 3 WHERE ISN = 1005"}, &db.connection());
  write({"UPDATE N_KLPREC SET CENA1 = 9 WHERE ISN = 2"}, &db.connection());
  watch.ownTransactions({db.connection().defaultTransaction().number()});
  DocumentChanges changes = lookWithoutCounts();
  ASSERT_NE(changes.of("O_PRCOUT"), nullptr);
  EXPECT_TRUE(changes.of("O_PRCOUT")->rows.at(0).own);
  EXPECT_EQ(asMap(changes.othersOnly()), Changes{}) << "own writes only";

  write({"UPDATE O_PRCOUT SET DAUDZUMS = 3 WHERE ISN = 1005"});
  other.defaultTransaction().commit();
  changes = lookWithoutCounts();
  EXPECT_FALSE(changes.of("O_PRCOUT")->rows.at(0).own) << "another program wrote it last";
  EXPECT_EQ(asMap(changes.othersOnly()), (Changes{{"O_PRCOUT", {{{kIssueLine, kSugar, false}}}}}));
}

// Between passes the windows tell a commit from nothing: an open transaction's rows show once it
// commits, and a look takes the new state as its base.
TEST_F(DocumentWatchTest, TheWindowsMoveWithACommitAndNotBefore) {
  watch.setWholeLook(std::chrono::hours(1), 2);
  EXPECT_FALSE(watch.windowMoved(db.connection()));
  look();
  EXPECT_EQ(watch.windowMoved(db.connection()), false);
  write({"INSERT INTO O_PAVOUT (ISN, DATUMS, ISNODALA) VALUES (2000, '2026-03-04', 1)",
         "INSERT INTO O_PRCOUT (ISN, ISPAVOUT, ISPRECE, DAUDZUMS, CENA) VALUES (2001, 2000, 2, 1, 3)"});
  EXPECT_EQ(watch.windowMoved(db.connection()), false) << "not committed yet";
  other.defaultTransaction().commit();
  EXPECT_EQ(watch.windowMoved(db.connection()), true);
  look();
  EXPECT_EQ(watch.windowMoved(db.connection()), false);
  write({"UPDATE O_PRCOUT SET DAUDZUMS = 2 WHERE ISN = 2001"});
  other.defaultTransaction().commit();
  EXPECT_EQ(watch.windowMoved(db.connection()), true) << "an edit in the window";
  look();
  write({"UPDATE O_PRECE SET CENA = 11 WHERE ISN = 1001"});
  other.defaultTransaction().commit();
  EXPECT_EQ(watch.windowMoved(db.connection()), false) << "the depth is not watched between passes";
}

// The top of each window (here its two highest keys, of a window of ten) shows new rows and edits
// among the newest keys, and nothing under them; the whole window shows all of them.
TEST_F(DocumentWatchTest, TheTopOfTheWindowsShowsOnlyTheNewestKeys) {
  struct Row {
    const char* name;
    std::vector<const char*> change;
    bool whole, top;
  };
  const Row rows[] = {
      {"a new sale", {"INSERT INTO O_PAVOUT (ISN, DATUMS, ISNODALA) VALUES (2000, '2026-03-04', 1)"}, true, true},
      {"an edit of the table's newest line", {"UPDATE O_PRECE SET CENA = 12 WHERE ISN = 1003"}, true, true},
      {"an edit under the top, in the window", {"UPDATE O_PRECE SET CENA = 11 WHERE ISN = 1001"}, true, false},
      {"a line deleted under the top", {"DELETE FROM O_PRECE WHERE ISN = 1001"}, true, false},
      {"a new goods registered", {"INSERT INTO N_KLPREC (ISN, NOSAUKUMS) VALUES (3000, 'Jauna prece')"}, true, true},
  };
  watch.setWholeLook(std::chrono::hours(1), 10);
  watch.setTopKeys(2);
  EXPECT_FALSE(watch.windowMoved(db.connection(), DocumentWatch::Part::Top)) << "no look yet";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    look();
    EXPECT_EQ(watch.windowMoved(db.connection(), DocumentWatch::Part::Top), false);
    write(row.change);
    other.defaultTransaction().commit();
    EXPECT_EQ(watch.windowMoved(db.connection()), row.whole);
    EXPECT_EQ(watch.windowMoved(db.connection(), DocumentWatch::Part::Top), row.top);
  }
}

TEST_P(DocumentWatchCase, ReportsExactlyWhatAnotherAttachmentChanged) {
  const Case& c = GetParam();
  if (c.before != Before::Nothing) write(c.change);
  if (c.before == Before::WrittenAndCommittedRetaining) other.defaultTransaction().commitRetaining();
  EXPECT_FALSE(look().known);
  if (c.before != Before::Written) write(c.change);
  other.defaultTransaction().commit();

  const DocumentChanges second = look();
  EXPECT_TRUE(second.known);
  EXPECT_EQ(asMap(second), c.expected);
  EXPECT_EQ(watch.lastReads().scanned, c.scanned);
  EXPECT_EQ(watch.lastReads().window, c.window);

  EXPECT_TRUE(look().none()) << "a change was reported twice";
  EXPECT_EQ(watch.lastReads().kept, static_cast<int>(std::size(kWatchedTables))) << "nothing moved the counts";
  watch.forget();
  EXPECT_FALSE(look().known);
}

INSTANTIATE_TEST_SUITE_P(Changes, DocumentWatchCase, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace talvix
