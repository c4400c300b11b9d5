#pragma once
// Every movement of a goods, read on the first question about that goods (or, once many goods
// were asked for, of every goods in one pass over the tables) and kept, so that each later price
// or stock figure is computed in memory. Given a fold day, the pass over the tables keeps only
// the lines from that day on and folds the older ones into what they leave (each kind's summed
// quantity, the moving average once one was asked for, the newest layers, the latest receipt price); a question about
// an earlier day, or a FIFO walk deeper than the layers kept, reads that goods whole. Each answer is bit-for-bit the
// one the statements in stock_movements.h give on the same data: the same lines count, sums add in the order the
// database adds them (table order, in which the goods index also yields a goods' lines), and
// layers and replays use the same orders.
// The cache follows the connection's own work through its DataObserver: single-line cost
// updates are applied in place; a write it cannot follow, a rollback or a disconnect empties it.
// Other users' work is seen only after it empties, at the start of every run and, in a run that
// did not name its period, every step (kept_movements.h), or, at a pass's start, for the goods
// the changes since the last pass reach (data/change_reach.h).
// A run's pass over the tables also gathers the issue lines its client-sale look-ups will walk:
// those of each goods and client that a negative issue line or a return from the fold day on names.
//
// Its rooms: cached_line.h (a line as held), cached_department.h (one goods in one department and
// its fold), cached_goods.h (one goods), header_book.h (a kind's headers during the pass over the
// tables), cache_reads.cpp (the reads, that pass included), cache_changes.cpp (what it keeps across
// writes and other users' changes), movement_cache.cpp (the questions and the run's life).
#include "data/connection.h"
#include "data/document_changes.h"
#include "data/query.h"
#include "pricing/cached_goods.h"
#include "pricing/client_sale_book.h"
#include "pricing/kept_movements.h"
#include "pricing/movement.h"
#include "pricing/movement_source.h"
#include "pricing/pass_writes.h"
#include "pricing/write_statement.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace talvix::pricing {

class MovementCache : public MovementSource, public KeptMovements {
 public:
  // Goods are read one by one until goodsBeforeBulk were, then all at once (one pass over each
  // table is cheaper than reading most goods one by one); 0 reads all at the first question.
  // connection must outlive the cache; the caller forwards the connection's events to onData().
  MovementCache(Connection& connection, int goodsBeforeBulk);
  ~MovementCache() override;

  // What is held may be out of date: the next question empties the cache, and folds nothing unless
  // periodExpected() comes first; passStarted() may keep it instead.
  void runStarted() noexcept override;
  // Empties the cache, unless the run named its period: then it keeps what it read for the whole
  // pass, as ten years are read once per pass.
  void stepStarted() noexcept override;
  // Lines dated before day(first) are folded from the next pass over the tables on; until then
  // nothing is folded. Changing it empties the cache (while suspect, when it settles).
  void periodExpected(DateTime first) noexcept override;
  // Reads go through snapshot until passEnded(). Keeps what was read through the last pass's
  // snapshot, but the goods whose lines changed since (read again when asked for); empties the
  // cache when changes are unknown, touch a header or the count of a table, or change a line not held.
  void passStarted(Transaction& snapshot, const DocumentChanges& changes) noexcept override;
  void passEnded() noexcept override;

  FifoWalk fifoWalk(int goods, int dept, DateTime date, double stock, double quantity, double dayQuantity) override;
  DateTime newestLayerDay(int goods, int dept, DateTime date) override;

  double stockBeforeOutflows(int goods, int dept, DateTime date) override;
  double balanceOnDay(int goods, int dept, DateTime date) override;
  double lastReceiptPrice(int goods, int dept, bool everyDepartment, DateTime date) override;
  std::optional<DateTime> nextStockIn(int goods, int dept, DateTime date) override;
  // nullopt until a pass over the tables while folding.
  std::optional<ClientSaleAnswer> clientSale(const ClientSaleQuestion& question) override;
  double movingAverage(int goods, int dept, DateTime date) override;

  // Never throws: whatever it cannot follow empties the cache.
  void onData(DataEvent event, const Query* query) noexcept;

  struct LineStream;
  // Which kinds' lines stream together, merged by day.
  enum class Streams : std::uint8_t { All, Outflows, Inflows };

 private:
  using Line = cache::Line;
  using Department = cache::Department;
  using Goods = cache::Goods;

  // Where a cost the tool may update lives.
  struct CostOwner {
    int goods;
    Line* line;
    Department* department;
  };

  // StockMovements::layers, newest first; when cut, older layers exist beyond the last one given,
  // and a walk that reaches it must readWhole(goods) and ask again. Valid until the next call.
  struct LayerSpan {
    std::span<const Movement> layers;
    bool cut = false;
  };
  LayerSpan layers(int goods, int dept, DateTime date);
  void readWhole(int goods);
  // A goods folded without the moving average, asked for one: read whole, or after a few, every
  // goods folded again with it.
  void foldAverages(int goods);

  // limit: the last day the question reads.
  Goods& goods(int goods, DateTime limit);
  Department* department(int goods, int dept, DateTime limit);
  bool folding() const { return fold_.day > -std::numeric_limits<DateTime>::infinity(); }
  void keepThrough(const DocumentChanges& changes) noexcept;
  void clear() noexcept;
  std::unique_ptr<Goods> load(int goods);
  struct BulkRead;
  void loadAll();
  void streamLines(Streams which, BulkRead& read);
  void takeLine(const LineStream& stream, DateTime day, BulkRead& read);
  void keepRead(BulkRead& read);
  void index(int goodsKey, Goods& loaded);
  void forget(int goodsKey);
  // Empties the cache and takes the fold day wanted.
  void settle() noexcept;
  // Goods whose lines the changes touch, as they were and as they are; false when that cannot be told.
  bool touchedGoods(const DocumentChanges& changes, std::unordered_set<int>& goods) const;
  void applyCost(const WriteStatement& write, const Query& query);
  void applyIssueCost(std::int32_t isn, const WriteStatement& write, const Query& query);
  // The goods and clients the client-sale look-ups of the period will ask about.
  void wantClientSales();
  // After a write it cannot follow: what the snapshot shows may miss it, so reads go to the
  // connection's transaction, as outside a pass, and the next pass starts afresh.
  // keepClientSales: the write left every issue line and header as it was.
  void readCommitted(bool keepClientSales = false) noexcept;
  void clearMovements() noexcept;
  // Lays the cost this pass wrote to the line, if any, over what was read.
  void layOwnCost(MovementKind kind, Line& line) const;

  // Suspect: what is held may be out of date; the next question empties it, unless a pass's start
  // keeps it.
  enum class Trust : std::uint8_t { Current, Suspect };
  // Where what is held was read: only through passes' snapshots, or some of it outside one, which
  // the next pass cannot keep.
  enum class ReadThrough : std::uint8_t { Snapshots, Outside };
  // How much of the tables is held since the cache was last emptied.
  enum class Coverage : std::uint8_t {
    SomeGoods,         // goods read one by one as asked for, readOneByOne_ of them so far
    SomeGoodsForGood,  // the pass over the tables was tried: one by one until emptied
    EveryGoods,        // every goods with a line, from one pass over the tables (folded when folding()),
                       // but those in whole_, read one by one
  };
  // Lines dated before day are folded; wanted takes over when the cache next settles. -infinity
  // folds nothing.
  struct Fold {
    DateTime day = -std::numeric_limits<DateTime>::infinity();
    DateTime wanted = -std::numeric_limits<DateTime>::infinity();
  };

  Connection& connection_;
  Transaction* snapshot_ = nullptr;
  Trust trust_ = Trust::Current;
  ReadThrough readThrough_ = ReadThrough::Snapshots;
  Coverage coverage_ = Coverage::SomeGoods;
  Fold fold_;
  Query load_;
  const int goodsBeforeBulk_;
  int readOneByOne_ = 0;
  // The moving average is folded only once one was asked for in the cache's life: a FIFO run never asks.
  bool averageAsked_ = false;
  int averagesReadWhole_ = 0;  // goods read whole for want of a folded average since last emptied
  std::unordered_set<int> whole_;
  std::unordered_map<int, std::unique_ptr<Goods>> goods_;
  // Per CostColumn: line key -> the line held (none for issue costs, which only sales_ follows).
  std::unordered_map<std::int32_t, CostOwner> costOwners_[kCostColumns];
  PassWrites passWrites_;
  ClientSaleBook sales_;
  std::unordered_map<std::string, WriteStatement> statements_;
};

}  // namespace talvix::pricing
