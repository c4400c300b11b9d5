#pragma once
// Between the passes of a continuous FIFO run. A pass that wrote no cost would be repeated with the
// same result unless the database changes, so the next one waits for a change: the database-wide
// count of record operations is watched every 250 ms, and the rest also ends at its limit (0.5 s,
// doubling to 2.5 s while passes write nothing) for a change the count cannot show, such as a
// write counted during an earlier pass and committed later. Where every attachment's transactions
// can be seen, that change shows too (an open transaction that wrote ends), so the limit is a long
// safety net instead. A pass that wrote starts the next at once. A stop request ends a rest at
// once; a rest writes no log line.
//
// Given the document watch, a rest asks two questions of its own, each less often the longer
// nothing happens, and again at once after a change: whether the top of any table's window (its
// newest keys) differs from what the pass's snapshot held, after 250 ms, 500 ms, then every 1 s, which a
// committed sale shows at a fraction of a millisecond of the server's time; and the deep question
// every 1 s growing to 8 s: the count and open writers where the last look could read the write
// counts (as SYSDBA, owner or RDB$ADMIN on a server that keeps them), else every whole window. A
// document committed by any user on any server shows there, whatever the monitoring tables let this
// user see, so the rest may last up to 30 s, doubling to 120 s while nothing happens, ending earlier when the watch's
// whole look of a table is due. Elsewhere the monitoring tables say nothing of others' work and cost the server a
// snapshot each time, so they are not read.
#include "data/document_changes.h"
#include "data/record_operations.h"
#include "step/run_context.h"

#include <cstdint>
#include <optional>
#include <unordered_set>

namespace talvix {

// The writes made on a connection while this lives: cost writes go through the connection's default
// transaction; the others are the operation log's entries, each in a transaction of its own.
class PassWrites {
 public:
  explicit PassWrites(Connection& connection);
  ~PassWrites();
  PassWrites(const PassWrites&) = delete;
  PassWrites& operator=(const PassWrites&) = delete;

  int costs() const { return costs_; }
  int all() const { return all_; }
  // The transactions the costs were written under (empty when a number could not be asked).
  const std::unordered_set<std::int64_t>& numbers() const { return numbers_; }

 private:
  Connection& connection_;
  int observer_;
  int costs_ = 0;
  int all_ = 0;
  std::unordered_set<std::int64_t> numbers_;
  bool numbered_ = true;
};

class IdleRest {
 public:
  static constexpr int kSliceMilliseconds = 125;
  static constexpr int kCheckMilliseconds = 250;
  static constexpr int kFirstLimitMilliseconds = 500;
  static constexpr int kLongestLimitMilliseconds = 2500;
  static constexpr int kFirstWatchedLimitMilliseconds = 30000;
  static constexpr int kLongestWatchedLimitMilliseconds = 120000;
  static constexpr int kLongestCheckMilliseconds = 1000;
  static constexpr int kFirstDeepMilliseconds = 1000;
  static constexpr int kLongestDeepMilliseconds = 8000;

  IdleRest(RunContext& ctx, RecordOperations& operations, const DocumentWatch* watch = nullptr)
      : ctx_(ctx), operations_(operations), watch_(watch) {}

  // Right before a pass takes its snapshot.
  void passStarts();
  // After a pass that leaves the run going; returns when the next pass should start.
  void passEnded(const PassWrites& writes);

 private:
  void rest(const WriteActivity& seen, bool windows);
  // Given the watch: the top of the windows every check_, the deep question every deep_.
  void watchedRest(const WriteActivity& seen, int limit);
  // After a change the questions are asked often again.
  void changed() {
    check_ = kCheckMilliseconds;
    deep_ = kFirstDeepMilliseconds;
    watchedLimit_ = kFirstWatchedLimitMilliseconds;
  }
  // The monitoring tables can tell this run of others' work.
  bool countsTell() const { return !watch_ || !watch_->looked() || watch_->lastLookCounted(); }
  int limitFor(bool watched) const;
  // The rest should end: the count or the open writers moved, or a window did (or can no longer be read).
  bool moved(const WriteActivity& seen, bool windows);
  // The deep question: the count and open writers where they tell, else every whole window.
  bool movedDeep(const WriteActivity& seen);

  RunContext& ctx_;
  RecordOperations& operations_;
  const DocumentWatch* watch_;
  bool countedAtPassStart_ = true;
  WriteActivity atPassStart_;
  int limit_ = kFirstLimitMilliseconds;
  int check_ = kCheckMilliseconds;
  int deep_ = kFirstDeepMilliseconds;
  int watchedLimit_ = kFirstWatchedLimitMilliseconds;
};

}  // namespace talvix
