#pragma once
// What changed in the stock documents between two snapshots, so that what was read in the first
// can be kept where nothing it depends on changed. A row's RDB$RECORD_VERSION is the number of the
// transaction that wrote it, so a row written, edited or re-dated since the earlier snapshot began
// carries a number at least that snapshot's oldest active transaction: one committed long after it
// wrote included, a change in the same second or one that keeps every sum equal included. Rows
// already seen with that same number are not changes. A deleted row leaves no version, so each
// table's row count is compared: rows gone = rows before + new keys - rows now.
//
// Where the database-wide write counts can be read (record_operations.h), a table whose counts did
// not move is not read at all, and one that only gained inserts is read from above its highest key.
// Counts are read twice a pass: just before the snapshot starts (the base for the next look, kept
// only where no open transaction had written the table, so everything counted then was ended and
// is in the snapshot) and just after (compared with the base: anything the new snapshot shows that
// the base's did not was written after the base was counted, so it moved the counts).
//
// Where they cannot (a plain user, a Classic server, another attachment's open transaction that
// wrote the table), a look reads only the table's window, the rows keyed above a floor a few
// thousand keys under its highest key (new documents, recent edits, a clerk's document committed
// late), by the primary key's index; the rest of the table, its depth, is read whole at most
// wholeLookEvery() after it last was. A change in the depth is therefore seen within that bound,
// not at once. Between passes, windowMoved() tells whether any window differs from what the last
// look's snapshot held, in a few milliseconds, for a rest to watch; or only its top, the newest few
// hundred keys (new documents and the latest edits), in a fraction of that, for a rest to ask often.
#include "data/connection.h"
#include "data/document_tables.h"
#include "data/query.h"
#include "data/record_operations.h"
#include "data/transaction.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace talvix {

// The tables read for prices and day quantities: headers, lines (ISPRECE names their goods), the
// goods register.
enum class TableRole { Header, Lines, Register };
struct WatchedTable {
  const char* name = nullptr;
  TableRole role = TableRole::Header;
};
// Receipts, every kind's headers and lines, then the register.
inline constexpr auto kWatchedTables = [] {
  std::array<WatchedTable, 2 * kKindCount + 3> tables{};
  std::size_t i = 0;
  tables[i++] = {kReceiptHeaderTable, TableRole::Header};
  tables[i++] = {kReceiptLinesTable, TableRole::Lines};
  for (const DocumentKindRow& row : kDocumentKinds) {
    tables[i++] = {row.tables.header, TableRole::Header};
    tables[i++] = {row.tables.lines, TableRole::Lines};
  }
  tables[i++] = {kGoodsRegisterTable, TableRole::Register};
  return tables;
}();

inline constexpr std::int32_t kNoGoods = std::numeric_limits<std::int32_t>::min();

struct ChangedRow {
  std::int32_t key;
  std::int32_t goods;  // as the row is now; kNoGoods where the table has none or it is NULL
  bool newKey;         // above every key the table had: the row did not exist before
  // Written under one of the reader's own transactions (DocumentWatch::ownTransactions), so its
  // latest version is the reader's own work; only where no write counts tell own work from others'.
  bool own = false;
};

struct TableChanges {
  std::vector<ChangedRow> rows;
  // Rows before + new keys - rows now: the rows deleted, as long as every row without a new key
  // existed before. A row inserted under the highest key cannot be told from an edited one, and
  // makes this one less: a reader that cannot place such a row must not trust this either.
  std::int64_t rowsGone = 0;
};

struct DocumentChanges {
  bool known = false;  // false: no earlier look to compare with, so anything may have changed
  std::unordered_map<std::string, TableChanges> tables;  // only tables with a change
  // Tables whose every change since the last look is the reader's own connection's work (its cost
  // updates): by the write counts, no other attachment wrote them.
  std::unordered_set<std::string> ownOnly;

  // Without the tables only the reader's connection changed, nor the rows its own transactions wrote
  // last, for a reader that followed its own writes.
  DocumentChanges othersOnly() const;

  bool none() const { return known && tables.empty(); }
  // What no reader can follow line by line: a deleted document row, or an edited header (it may move lines
  // folded long ago to another day, department or client). A new header holds no line yet.
  bool headerEditedOrRowGone() const;
  const TableChanges* of(const std::string& table) const {
    const auto found = tables.find(table);
    return found == tables.end() ? nullptr : &found->second;
  }
};

// How the last look learnt each table.
struct LookReads {
  int kept = 0;     // counts unmoved: not read
  int newRows = 0;  // only inserts, all found above the highest key
  int window = 0;   // no counts to trust: only the window read
  int scanned = 0;  // read whole
};

// Adds the goods one changed table's rows touch: each row's goods as it is now and, for an edited
// row, as it was, which goodsBefore(key) gives (nullopt: unknown). False when one is unknown.
template <typename GoodsBefore>
bool addTouchedGoods(const TableChanges& changed, GoodsBefore goodsBefore, std::unordered_set<std::int32_t>& touched) {
  for (const ChangedRow& row : changed.rows) {
    if (row.goods != kNoGoods) touched.insert(row.goods);
    if (row.newKey) continue;
    const std::optional<std::int32_t> was = goodsBefore(row.key);
    if (!was) return false;
    touched.insert(*was);
  }
  return true;
}

// Remembers what the last snapshot held, table by table. Owned by whoever keeps state between
// passes; one look per pass, in the pass's snapshot, after beforeSnapshot() on the same connection
// right before that snapshot started (without it every table is read whole or by its window). A
// caller whose own transactions stay open across passes holds the counts' proof back: end them
// first.
class DocumentWatch {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kWholeLookSeconds = 120;
  static constexpr std::int32_t kWindowKeys = 2000;
  static constexpr std::int32_t kTopKeys = 200;

  // The bound and the window from TALVIX_WHOLE_LOOK_SECONDS and TALVIX_WATCH_WINDOW_KEYS when set
  // (whole numbers, 0 seconds: every look reads every table whole), else the constants above.
  DocumentWatch();
  void setWholeLook(std::chrono::seconds every, std::int32_t windowKeys) {
    every_ = every;
    windowKeys_ = windowKeys;
  }
  std::chrono::seconds wholeLookEvery() const { return every_; }
  // The top of each window: the keys within this many of the table's highest (at most the window).
  void setTopKeys(std::int32_t keys) { topKeys_ = keys; }

  void beforeSnapshot(Connection& connection) {
    before_ = readWriteCounts(connection);
    snapshotAt_ = Clock::now();
  }
  // Any time while the snapshot is open: what it holds is dated from its start.
  DocumentChanges look(Connection& connection, Transaction& snapshot);
  // The numbers of the transactions this run wrote cost under: where no counts tell the run's own
  // writes from others', the rows carrying one of them are the run's own (ChangedRow::own).
  void ownTransactions(const std::unordered_set<std::int64_t>& numbers) { own_.insert(numbers.begin(), numbers.end()); }
  // After a failure: the next look knows nothing.
  void forget() noexcept {
    own_.clear();
    seen_.clear();
    base_.clear();
    before_.reset();
    snapshotAt_.reset();
    for (Print& print : prints_) print = {};
    counted_ = false;
  }
  const LookReads& lastReads() const { return reads_; }

  // Whether what is committed now differs, in any table's window, from what the last look's
  // snapshot held (read in a short transaction of its own); nullopt before a look or when it
  // cannot be read. Counts, versions and keys of the window are compared: a change that keeps all
  // three sums equal is found by the next look all the same. Part::Top compares only each window's
  // top: rows there are fewer, so the question costs the server less.
  enum class Part { Whole, Top };
  std::optional<bool> windowMoved(Connection& connection, Part part = Part::Whole) const;
  // When a table whose depth went unread is due to be read whole; nullopt: none is.
  std::optional<Clock::time_point> wholeLookDue() const;
  bool looked() const { return !seen_.empty(); }
  // The last look could read the write counts (and so a rest may watch them).
  bool lastLookCounted() const { return counted_; }

 private:
  struct Seen {
    std::int64_t rows = 0;  // the whole table, as far as the looks know it
    std::int32_t maxKey = 0;
    std::int64_t floor = 0;       // the window: keys above it
    std::int64_t windowRows = 0;  // rows in the window
    std::int64_t deepSince = 0;   // the oldest active transaction when the table was last read whole
    Clock::time_point wholeAt;    // when that was
    bool deepUnread = false;      // a look since then read only the window
    std::unordered_map<std::int32_t, std::int64_t> recent;  // key -> version, versions >= since
  };
  enum class Read { Keep, NewRows, Window, Scan };
  struct Moment {
    std::int64_t oldestActive;
    Clock::time_point time;
  };

  // A table's counts when seen_ last held everything counted, and the connection's own share.
  struct Base {
    TableWrites all;
    TableWrites own;
  };
  // The table's base, where now was counted on the attachment the base was.
  const Base* baseFor(const std::string& table, const std::optional<WriteCounts>& now) const;
  Read howToRead(const std::string& table, const std::optional<WriteCounts>& now, const Seen* before,
                 Clock::time_point time) const;
  bool wholeDue(const Seen& seen, Clock::time_point time) const;
  // Since the base, only this connection wrote the table.
  bool onlyOwnWrites(const std::string& table, const std::optional<WriteCounts>& now) const;
  Read lookAt(Query& query, const WatchedTable& table, const std::optional<WriteCounts>& counted, const Moment& at,
              Seen& after, TableChanges& found);
  // Where no base tells own writes: a row whose version is one of the run's own transactions.
  bool ownVersion(std::int64_t version, bool owned) const { return owned && own_.contains(version); }
  void forgetOldOwn();
  void keepBase(const std::optional<WriteCounts>& counted, std::unordered_map<std::string, Base> base);
  // False, reading nothing into after, when the rows found do not account for every insert.
  static bool readNewRows(Query& query, const WatchedTable& table, std::int64_t inserts, Seen& before, Seen& after,
                          TableChanges& found);
  void readWindow(Query& query, const WatchedTable& table, const Moment& at, bool owned, Seen& before, Seen& after,
                  TableChanges& found) const;
  void scan(Query& query, const WatchedTable& table, const Moment& at, bool owned, const Seen* before, Seen& after,
            TableChanges& found) const;
  void readPrints(Query& query);

  // Every table's window (or top): count, version sum, key sum, as the last look's snapshot held them.
  struct Print {
    std::string sql;
    std::vector<std::string> values;
  };

  std::unordered_map<std::string, Seen> seen_;
  std::int64_t since_ = 0;  // the oldest active transaction when the last snapshot began
  std::optional<WriteCounts> before_;
  std::optional<Clock::time_point> snapshotAt_;  // when beforeSnapshot() last ran
  std::unordered_map<std::string, Base> base_;  // counted on the attachment baseAttachment_
  std::int64_t baseAttachment_ = 0;
  bool counted_ = false;
  LookReads reads_;
  std::chrono::seconds every_;
  std::int32_t windowKeys_;
  std::int32_t topKeys_ = kTopKeys;
  std::array<Print, 2> prints_;  // by Part
  std::unordered_set<std::int64_t> own_;
};

}  // namespace talvix
