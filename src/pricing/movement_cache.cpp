// The movement cache's questions (each answered from the goods held, read when first asked for)
// and the run's life as the cache follows it: when what is held empties, and the fold day.
#include "pricing/movement_cache.h"

#include "pricing/finite_price.h"
#include "pricing/movement_kinds.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace talvix::pricing {
namespace {

constexpr int kGoodsBeforeBulkInRun = 20;

// The last day a statement bound with date reads: DATUMS < DAY_END is day(DATUMS) <= day(date).
DateTime dayLimit(DateTime date) { return wholeDate(date); }

}  // namespace

using cache::PricePoint;

MovementCache::MovementCache(Connection& connection, int goodsBeforeBulk)
    : connection_(connection), load_(connection), goodsBeforeBulk_(goodsBeforeBulk) {
  load_.setSql(cacheStatements().goodsLines);
}
MovementCache::~MovementCache() = default;

std::optional<ClientSaleAnswer> MovementCache::clientSale(const ClientSaleQuestion& question) {
  if (trust_ == Trust::Suspect) settle();
  return sales_.answer(question);
}

MovementCache::Goods& MovementCache::goods(int goodsKey, DateTime limit) {
  if (trust_ == Trust::Suspect) settle();
  auto found = goods_.find(goodsKey);
  if (found != goods_.end() && found->second->folded && limit < fold_.day) {
    // Asked about a day inside the fold: only the whole history answers.
    readWhole(goodsKey);
    found = goods_.find(goodsKey);
  }
  if (found != goods_.end()) return *found->second;
  // A run's pass keeps what it read, so a pass over the tables pays sooner.
  const int beforeBulk = folding() ? std::min(goodsBeforeBulk_, kGoodsBeforeBulkInRun) : goodsBeforeBulk_;
  if (coverage_ == Coverage::SomeGoods && readOneByOne_ >= beforeBulk) {
    // Should the pass fail, goods are read one by one until the cache empties.
    coverage_ = Coverage::SomeGoodsForGood;
    loadAll();
    return goods(goodsKey, limit);
  }
  // Every goods with a line is held once all were read, but for those to be read whole.
  const bool readIt = coverage_ != Coverage::EveryGoods || whole_.contains(goodsKey);
  std::unique_ptr<Goods> loaded = readIt ? load(goodsKey) : std::make_unique<Goods>();
  if (readIt) ++readOneByOne_;
  Goods& held = *goods_.emplace(goodsKey, std::move(loaded)).first->second;
  index(goodsKey, held);
  return held;
}

void MovementCache::index(int goodsKey, Goods& loaded) {
  for (auto& [key, d] : loaded.departments) {
    for (const MovementKindRow& row : kMovementKindRows)
      if (row.followedCost)
        for (Line& l : d.lines[row.kind]) costOwners_[static_cast<int>(*row.followedCost)][l.isn] = {goodsKey, &l, &d};
  }
}

void MovementCache::forget(int goodsKey) {
  const auto found = goods_.find(goodsKey);
  if (found == goods_.end()) return;
  for (auto& [key, d] : found->second->departments) {
    for (const MovementKindRow& row : kMovementKindRows)
      if (row.followedCost)
        for (const Line& l : d.lines[row.kind]) costOwners_[static_cast<int>(*row.followedCost)].erase(l.isn);
  }
  goods_.erase(found);
  whole_.insert(goodsKey);  // read on its own when next asked for
}

void MovementCache::readWhole(int goodsKey) {
  forget(goodsKey);
  Goods& held = *goods_.emplace(goodsKey, load(goodsKey)).first->second;
  index(goodsKey, held);
}

MovementCache::Department* MovementCache::department(int goodsKey, int dept, DateTime limit) {
  Goods& g = goods(goodsKey, limit);
  const auto found = g.departments.find(dept);
  return found == g.departments.end() ? nullptr : &found->second;
}

MovementCache::LayerSpan MovementCache::layers(int goodsKey, int dept, DateTime date) {
  const DateTime limit = dayLimit(date);
  Department* d = department(goodsKey, dept, limit);
  if (!d) return {};
  const std::vector<Movement>& all = d->sortedLayers();
  const auto first =
      std::partition_point(all.begin(), all.end(), [limit](const Movement& m) { return !(m.day <= limit); });
  return {{first, all.end()}, d->layersCut};
}

double MovementCache::stockBeforeOutflows(int goodsKey, int dept, DateTime date) {
  const DateTime limit = dayLimit(date);
  Department* d = department(goodsKey, dept, limit);
  return d ? finitePrice(d->stockBeforeOutflows(limit)) : 0.0;
}

double MovementCache::balanceOnDay(int goodsKey, int dept, DateTime date) {
  const DateTime limit = dayLimit(date);
  Department* d = department(goodsKey, dept, limit);
  if (!d) return 0.0;
  return finitePrice(cache::sumQuantities(0.0, d->lines[kStatedStock], [limit](DateTime day) { return day == limit; }));
}

double MovementCache::lastReceiptPrice(int goodsKey, int dept, bool everyDepartment, DateTime date) {
  const DateTime limit = dayLimit(date);
  const std::vector<PricePoint>* prices = nullptr;
  if (everyDepartment) {
    prices = &goods(goodsKey, limit).lastPrices;
  } else {
    Department* d = department(goodsKey, dept, limit);
    if (!d) return 0.0;
    prices = &d->lastPrices;
  }
  const auto first =
      std::partition_point(prices->begin(), prices->end(), [limit](const PricePoint& p) { return !(p.day <= limit); });
  return first == prices->end() ? 0.0 : finitePrice(first->price);
}

std::optional<DateTime> MovementCache::nextStockIn(int goodsKey, int dept, DateTime date) {
  Department* d = department(goodsKey, dept, dayLimit(date));
  if (!d) return 0.0;
  std::optional<DateTime> first;
  auto consider = [&](const std::vector<Line>& lines, auto counts) {
    for (const Line& l : lines)
      if (l.at > date && counts(l) && (!first || l.at < *first)) first = l.at;
  };
  // As the stock-in statement: receipts, and the priced inflows the average counts but stated stock.
  for (const MovementKindRow& row : kMovementKindRows)
    if (row.inflow && !row.stock->statesStock)
      consider(d->lines[row.kind], [&row](const Line& l) {
        return !row.document || (l.pricedInflow() && (!row.averagedByOrigin() || l.averaged));
      });
  return first.value_or(0.0);
}

double MovementCache::movingAverage(int goodsKey, int dept, DateTime date) {
  const DateTime limit = dayLimit(date);
  averageAsked_ = true;
  if (!goods(goodsKey, limit).averageFolded) foldAverages(goodsKey);
  Department* d = department(goodsKey, dept, limit);
  if (!d) return 0.0;
  d->replayAverage();
  const auto end = std::upper_bound(d->averageDays.begin(), d->averageDays.end(), limit);
  if (end == d->averageDays.begin()) return d->historyAverage.cost();
  return d->averages[static_cast<std::size_t>(end - d->averageDays.begin()) - 1];
}

void MovementCache::foldAverages(int goodsKey) {
  if (++averagesReadWhole_ <= std::min(goodsBeforeBulk_, kGoodsBeforeBulkInRun)) {
    readWhole(goodsKey);
    return;
  }
  // The next question reads every table again, the average folded this time.
  clear();
}

void MovementCache::runStarted() noexcept {
  trust_ = Trust::Suspect;
  fold_.wanted = -std::numeric_limits<DateTime>::infinity();
}

void MovementCache::stepStarted() noexcept {
  if (!folding()) clear();
}

void MovementCache::periodExpected(DateTime first) noexcept {
  const DateTime day = wholeDate(first);
  fold_.wanted = day;
  if (trust_ == Trust::Current && day != fold_.day) settle();
}

void MovementCache::passStarted(Transaction& snapshot, const DocumentChanges& changes) noexcept {
  snapshot_ = &snapshot;
  keepThrough(changes);
}

void MovementCache::passEnded() noexcept {
  snapshot_ = nullptr;
  runStarted();
}

// A walk that reaches the last of a cut history reads the goods whole and walks again.
MovementSource::FifoWalk MovementCache::fifoWalk(int goodsKey, int dept, DateTime date, double stock, double quantity,
                                                 double dayQuantity) {
  LayerSpan view = layers(goodsKey, dept, date);
  FifoTaking taking = fifoTaking(view.layers, stock, quantity, dayQuantity);
  if (view.cut && taking.taken.size() >= view.layers.size()) {
    readWhole(goodsKey);
    view = layers(goodsKey, dept, date);
    taking = fifoTaking(view.layers, stock, quantity, dayQuantity);
  }
  return {view.layers, std::move(taking)};
}

DateTime MovementCache::newestLayerDay(int goodsKey, int dept, DateTime date) {
  const std::span<const Movement> held = layers(goodsKey, dept, date).layers;
  return held.empty() ? 0 : held.front().day;
}

void MovementCache::settle() noexcept {
  const DateTime day = fold_.wanted;
  clear();
  trust_ = Trust::Current;
  fold_.day = fold_.wanted = day;
}

void MovementCache::clear() noexcept {
  clearMovements();
  sales_.clear();
}

void MovementCache::clearMovements() noexcept {
  // Still suspect after: the fold day wanted is taken only when it settles.
  readThrough_ = ReadThrough::Snapshots;
  goods_.clear();
  whole_.clear();
  coverage_ = Coverage::SomeGoods;
  readOneByOne_ = 0;
  averagesReadWhole_ = 0;
  for (auto& owners : costOwners_) owners.clear();
}

}  // namespace talvix::pricing
