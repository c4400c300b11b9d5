#include "pricing/movement_cache.h"

#include "pricing/finite_price.h"
#include "pricing/key_slots.h"
#include "pricing/movement_kinds.h"
#include "pricing/weighted_average.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <limits>
#include <optional>
#include <unordered_set>

namespace talvix::pricing {
namespace {

constexpr std::size_t kStatementsKept = 256;
constexpr int kGoodsBeforeBulkInRun = 20;
constexpr std::size_t kLayersKeptBeyondStock = 16;

// The columns of cacheStatements(): one goods' lines, and each kind's headers and lines.
enum Column { kKind, kIsn, kDate, kDept, kDeptTo, kAveraged, kQuantity, kCost };
enum HeaderColumn { kHeaderIsn, kHeaderDate, kHeaderDept, kHeaderOther, kHeaderAveraged };
enum LineColumn { kLineIsn, kLineHeader, kLineGoods, kLineQuantity, kLineCost, kLineSaleCost, kLinePrice, kLineMarkup };

// A costed history older than this many days behind the stream is replayed into the folded average;
// a line the stream meets later than that makes its goods read whole instead.
constexpr DateTime kReplayWindowDays = 62;

constexpr std::int32_t kNullKey = std::numeric_limits<std::int32_t>::min();

// Small, because every header of ten years is held while the lines stream past.
struct Header {
  DateTime at;
  std::int32_t isn;
  std::int32_t dept, other;  // kNullKey for NULL; other: a transfer's receiving department, an issue's client
  bool averaged;
};

std::int32_t keyOrNull(const Query& q, int field) { return q.isNull(field) ? kNullKey : q.asInteger(field); }

// One kind's headers, sorted by key. Lines come mostly in their headers' order, so a look-up
// first tries where the last one ended.
class HeaderBook {
 public:
  void read(Query& q) {
    headers_.clear();
    for (q.openStream(); q.fetch();) {
      if (q.isNull(kHeaderDate)) continue;
      headers_.push_back({q.asDateTime(kHeaderDate), q.asInteger(kHeaderIsn), keyOrNull(q, kHeaderDept),
                          keyOrNull(q, kHeaderOther), q.asInteger(kHeaderAveraged) == 1});
    }
    std::sort(headers_.begin(), headers_.end(), [](const Header& a, const Header& b) { return a.isn < b.isn; });
    hint_ = 0;
  }
  const Header* find(std::int32_t isn) {
    for (std::size_t i = hint_; i < headers_.size() && i < hint_ + 4; ++i)
      if (headers_[i].isn == isn) return &headers_[hint_ = i];
    const auto found = std::lower_bound(headers_.begin(), headers_.end(), isn,
                                        [](const Header& h, std::int32_t key) { return h.isn < key; });
    if (found == headers_.end() || found->isn != isn) return nullptr;
    hint_ = static_cast<std::size_t>(found - headers_.begin());
    return &*found;
  }

 private:
  std::deque<Header> headers_;  // grows without copying: ten years of headers are the peak
  std::size_t hint_ = 0;
};

}  // namespace

struct MovementCache::Line {
  DateTime at = 0;      // the header's date-time
  DateTime day = 0;     // its day
  double quantity = 0;  // 0.0 when NULL, as COALESCE gives it
  double cost = 0;
  std::int32_t isn = 0;
  bool quantityNull = false;
  bool costNull = false;
  bool averaged = false;  // a return the moving average counts (FROM_WHAT = 2)

  bool isLayer() const { return !quantityNull && quantity > 0 && !costNull && cost > 0; }
  bool pricedInflow() const { return !costNull && cost > 0; }
};

namespace {

using Line = MovementCache::Line;

struct PricePoint {
  DateTime day;
  std::int32_t isn;
  double price;
};

// Latest first: by day, then by line key, as the last-price statement orders.
bool laterPrice(const PricePoint& a, const PricePoint& b) {
  if (a.day != b.day) return a.day > b.day;
  return a.isn > b.isn;
}

// Ten years of departments each keeping the room its busiest weeks needed add up: give back what
// is well beyond the need.
void releaseSpare(std::vector<Movement>& movements) {
  if (movements.capacity() > 2 * movements.size() + 8) movements.shrink_to_fit();
}

// One T per movement kind.
template <typename T>
struct ByKind {
  std::array<T, kMovementKinds> items{};
  T& operator[](MovementKind kind) { return items[static_cast<int>(kind)]; }
  const T& operator[](MovementKind kind) const { return items[static_cast<int>(kind)]; }
};

// The order the stock statement adds the kinds up in.
constexpr MovementKind kStockOrder[] = {MovementKind::Receipt, MovementKind::TransferIn, MovementKind::Return,
                                        MovementKind::Balance, MovementKind::Issue,      MovementKind::TransferOut};
using enum MovementKind;

// SUM(DAUDZUMS) over the lines that pass, added in their order after start; NULLs skipped.
template <typename Pass>
double sumQuantities(double start, const std::vector<Line>& lines, Pass pass) {
  double total = start;
  for (const Line& l : lines)
    if (!l.quantityNull && pass(l.day)) total += l.quantity;
  return total;
}

Movement movementOf(MovementKind kind, const Line& l) {
  Movement m;
  m.kind = kind;
  m.day = l.day;
  m.isn = l.isn;
  m.quantity = l.quantity;
  m.cost = isInflow(kind) ? l.cost : 0.0;
  return m;
}

// Whether the moving average counts the line: priced inflows (returns only when averaged) and
// every outflow.
bool averageCounts(MovementKind kind, const Line& l) {
  if (!isInflow(kind)) return true;
  return l.pricedInflow() && (kind != Return || l.averaged);
}

// The last day a statement bound with date reads: DATUMS < DAY_END is day(DATUMS) <= day(date).
DateTime dayLimit(DateTime date) { return wholeDate(date); }

}  // namespace

// One goods in one department: its lines from the fold day on, and what the older ones left.
struct MovementCache::Department {
  ByKind<std::vector<Line>> lines;  // each kind's in the order the goods index gives them
  std::vector<PricePoint> lastPrices;

  // What the lines dated before the fold day left. Folding adds exactly what the statements add:
  // each kind's quantities in table order (so only while no later line of the kind came first),
  // the average replayed in replay order, the newest layers in walking order.
  ByKind<double> historySum;
  std::uint8_t kindsKept = 0;           // kinds already holding a line from the fold day on, by bit
  std::vector<Movement> historyLayers;  // newest first once folded
  bool layersCut = false;               // older layers were dropped
  MovingAverage historyAverage;
  std::vector<Movement> pending;  // counted by the average, not replayed yet
  DateTime replayedBefore = -1e9;
  std::optional<PricePoint> historyPrice;

  bool layersStale = true;
  std::vector<Movement> layers;  // newest first, the history's after the rest
  bool averageStale = true;
  std::vector<DateTime> averageDays;  // replay order
  std::vector<double> averages;       // the cost after each step of the replay

  void markCostChanged() { layersStale = averageStale = true; }

  void keep(MovementKind kind, const Line& l) {
    kindsKept |= static_cast<std::uint8_t>(1u << static_cast<int>(kind));
    lines[kind].push_back(l);
  }

  // False when the line cannot be folded exactly: the goods must then be read whole. Without
  // average, the moving average is left out of the fold.
  bool fold(MovementKind kind, const Line& l, bool average) {
    if (kindsKept & (1u << static_cast<int>(kind))) return false;
    if (!l.quantityNull) historySum[kind] += l.quantity;
    if (isInflow(kind) && l.isLayer()) historyLayers.push_back(movementOf(kind, l));
    if (average && averageCounts(kind, l)) {
      if (l.day < replayedBefore) return false;
      pending.push_back(movementOf(kind, l));
    }
    return true;
  }

  // Replays the pending movements dated before cutoff into the folded average.
  void replayBefore(DateTime cutoff) {
    const auto later =
        std::partition(pending.begin(), pending.end(), [cutoff](const Movement& m) { return m.day < cutoff; });
    std::sort(pending.begin(), later, replayOrder);
    for (auto m = pending.begin(); m != later; ++m) historyAverage.add(*m);
    pending.erase(pending.begin(), later);
    releaseSpare(pending);
    replayedBefore = std::max(replayedBefore, cutoff);
  }

  // What the folded lines left in stock, never below 0.
  double historyStock() const {
    return std::max(0.0, historySum[Receipt] + historySum[TransferIn] + historySum[Return] + historySum[Balance] -
                             historySum[Issue] - historySum[TransferOut]);
  }

  // While the history streams past: the layers well beyond what the stock so far could walk go;
  // should the period walk deeper after all, the goods is read whole.
  void trimLayers() {
    if (historyLayers.size() < 2 * kLayersKeptBeyondStock) return;
    std::sort(historyLayers.begin(), historyLayers.end(), newerFirst);
    keepCovering(2 * historyStock(), kLayersKeptBeyondStock);
    releaseSpare(historyLayers);
  }

  // Keeps the newest layers covering units, plus extra more.
  void keepCovering(double units, std::size_t extra) {
    if (!std::isfinite(units)) return;
    double covered = 0.0;
    std::size_t count = 0;
    while (count < historyLayers.size() && covered < units) covered += historyLayers[count++].quantity;
    count = std::min(historyLayers.size(), count + extra);
    if (count == historyLayers.size()) return;
    layersCut = true;
    historyLayers.resize(count);
  }

  // Ends the fold: the average replayed, and only as many old layers kept as any stock the period
  // may hold could walk, plus one; a walk that reaches the last kept one reads the goods whole.
  void finishFold() {
    replayBefore(std::numeric_limits<DateTime>::infinity());
    pending.shrink_to_fit();
    std::sort(historyLayers.begin(), historyLayers.end(), newerFirst);
    double bound = historyStock();
    for (const MovementKind kind : kStockOrder)
      for (const Line& l : lines[kind]) bound += std::fabs(l.quantity);
    keepCovering(bound, 1);
    historyLayers.shrink_to_fit();
  }

  double stockBeforeOutflows(DateTime limit) const {
    const auto onOrBefore = [limit](DateTime day) { return day <= limit; };
    const auto before = [limit](DateTime day) { return day < limit; };
    // The rows of the stock statement, added in its order.
    double total = 0.0;
    total += sumQuantities(historySum[Receipt], lines[Receipt], onOrBefore);
    total += sumQuantities(historySum[TransferIn], lines[TransferIn], onOrBefore);
    total += sumQuantities(historySum[Return], lines[Return], onOrBefore);
    total += sumQuantities(historySum[Balance], lines[Balance], before);
    total += -sumQuantities(historySum[Issue], lines[Issue], before);
    total += -sumQuantities(historySum[TransferOut], lines[TransferOut], before);
    return total;
  }

  const std::vector<Movement>& sortedLayers() {
    if (!layersStale) return layers;
    layers.clear();
    for (const MovementKind kind : kStockOrder)
      if (isInflow(kind))
        for (const Line& l : lines[kind])
          if (l.isLayer()) layers.push_back(movementOf(kind, l));
    std::sort(layers.begin(), layers.end(), newerFirst);
    // Every folded layer is older than every kept one.
    layers.insert(layers.end(), historyLayers.begin(), historyLayers.end());
    layersStale = false;
    return layers;
  }

  void replayAverage() {
    if (!averageStale) return;
    std::vector<Movement> movements;
    for (const MovementKind kind : kStockOrder)
      for (const Line& l : lines[kind])
        if (averageCounts(kind, l)) movements.push_back(movementOf(kind, l));
    std::sort(movements.begin(), movements.end(), replayOrder);
    averageDays.clear();
    averages.clear();
    MovingAverage replay = historyAverage;
    for (const Movement& m : movements) {
      replay.add(m);
      averageDays.push_back(m.day);
      averages.push_back(replay.cost());
    }
    averageStale = false;
  }
};

struct MovementCache::Goods {
  std::unordered_map<int, Department> departments;
  std::vector<PricePoint> lastPrices;  // every department's, and receipts without one
  std::optional<PricePoint> historyPrice;
  bool folded = false;        // lines dated before the fold day are only in the departments' fold
  bool averageFolded = true;  // false: folded without the moving average, which it cannot answer

  // Files one line under its departments (none when NULL), after those of its kind read before;
  // dated before foldDay, it is folded instead (the moving average only when average). False when
  // it could not be folded.
  bool file(MovementKind kind, const Line& l, std::int32_t dept, std::int32_t deptTo, DateTime foldDay,
            bool average = true);
  void finish();

 private:
  Department& department(std::int32_t key);
  // The departments by key, in the order first met: a few, so a scan beats hashing.
  std::vector<std::pair<std::int32_t, Department*>> byKey_;
};

namespace {

void laterOf(std::optional<PricePoint>& held, const PricePoint& p) {
  if (!held || laterPrice(p, *held)) held = p;
}

}  // namespace

MovementCache::MovementCache(Connection& connection, int goodsBeforeBulk)
    : connection_(connection), load_(connection), goodsBeforeBulk_(goodsBeforeBulk) {
  load_.setSql(cacheStatements().goodsLines);
}
MovementCache::~MovementCache() = default;

MovementCache::Department& MovementCache::Goods::department(std::int32_t key) {
  for (const auto& [held, d] : byKey_)
    if (held == key) return *d;
  Department& d = departments[key];  // a node map: d stays where it is
  byKey_.emplace_back(key, &d);
  return d;
}

bool MovementCache::Goods::file(MovementKind kind, const Line& l, std::int32_t dept, std::int32_t deptTo,
                                DateTime foldDay, bool average) {
  const bool old = l.day < foldDay;
  folded = folded || old;
  if (old && !average) averageFolded = false;
  auto put = [&](std::int32_t key, MovementKind as) {
    if (key == kNullKey) return true;
    Department& d = department(key);
    if (!old) {
      d.keep(as, l);
      return true;
    }
    return d.fold(as, l, average);
  };
  switch (kind) {
    case MovementKind::Receipt:
      if (!l.costNull && l.cost != 0) {
        const PricePoint p{l.day, l.isn, l.cost};
        if (old) {
          laterOf(historyPrice, p);
          if (dept != kNullKey) laterOf(department(dept).historyPrice, p);
        } else {
          lastPrices.push_back(p);
          if (dept != kNullKey) department(dept).lastPrices.push_back(p);
        }
      }
      return put(dept, Receipt);
    case MovementKind::TransferIn:
    case MovementKind::TransferOut: {
      const bool out = put(dept, TransferOut);
      return put(deptTo, TransferIn) && out;
    }
    case MovementKind::Return: return put(dept, Return);
    case MovementKind::Balance: return put(dept, Balance);
    case MovementKind::Issue: return put(dept, Issue);
  }
  return true;
}

void MovementCache::Goods::finish() {
  if (historyPrice) lastPrices.push_back(*historyPrice);
  std::sort(lastPrices.begin(), lastPrices.end(), laterPrice);
  lastPrices.shrink_to_fit();
  for (auto& [key, d] : departments) {
    if (d.historyPrice) d.lastPrices.push_back(*d.historyPrice);
    std::sort(d.lastPrices.begin(), d.lastPrices.end(), laterPrice);
    d.lastPrices.shrink_to_fit();
    if (folded) d.finishFold();
    for (auto& lines : d.lines.items) lines.shrink_to_fit();
  }
}

std::unique_ptr<MovementCache::Goods> MovementCache::load(int goodsKey) {
  auto loaded = std::make_unique<Goods>();
  if (!snapshot_) readThrough_ = ReadThrough::Outside;
  load_.setTransaction(snapshot_);
  load_.setInteger("ISPRECE", goodsKey);
  load_.open();
  for (load_.first(); !load_.eof(); load_.next()) {
    // No statement counts a line without a date.
    if (load_.isNull(kDate)) continue;
    Line l;
    l.at = load_.asDateTime(kDate);
    l.day = wholeDate(l.at);
    l.isn = load_.asInteger(kIsn);
    l.quantity = load_.asDouble(kQuantity);
    l.quantityNull = load_.isNull(kQuantity);
    l.cost = load_.asDouble(kCost);
    l.costNull = load_.isNull(kCost);
    l.averaged = load_.asInteger(kAveraged) == 1;
    const auto kind = static_cast<MovementKind>(load_.asInteger(kKind));
    layOwnCost(kind, l);
    loaded->file(kind, l, keyOrNull(load_, kDept), keyOrNull(load_, kDeptTo),
                 -std::numeric_limits<DateTime>::infinity());
  }
  load_.close();
  loaded->finish();
  return loaded;
}

// One kind's lines as they stream, each with its header.
struct MovementCache::LineStream {
  MovementKind kind;
  HeaderBook headers;
  std::unique_ptr<Query> lines;
  const Header* header = nullptr;  // the current line's; null at the end

  // Moves to the next line that has a goods and a known header.
  void advance() {
    header = nullptr;
    while (lines->fetch()) {
      if (lines->isNull(kLineGoods) || lines->isNull(kLineHeader)) continue;
      header = headers.find(lines->asInteger(kLineHeader));
      if (header) return;
    }
  }
};

// What one pass over the tables gathers, until the cache takes it.
struct MovementCache::BulkRead {
  std::unordered_map<int, std::unique_ptr<Goods>> all;
  std::unordered_set<int> whole;  // goods whose history cannot be folded: read whole when asked for
  KeySlots<Goods*> slots;         // every goods met: null once in whole
  DateTime nextReplay = -std::numeric_limits<DateTime>::infinity();
  bool gatherSales = false;
  bool average = true;  // fold the moving average too

  // Null when the goods is to be read whole.
  Goods* goodsOf(int key) {
    if (Goods** held = slots.find(key)) return *held;
    auto& g = all[key];
    g = std::make_unique<Goods>();
    slots.put(key, g.get());
    return g.get();
  }
  void readWhole(int key) {
    whole.insert(key);
    all.erase(key);
    slots.put(key, nullptr);
  }

  // Movements a window behind the stream are replayed; the window lets lines come a little out of
  // day order.
  void replayBehind(DateTime day) {
    for (auto& [key, g] : all)
      for (auto& [dept, d] : g->departments) {
        if (average) d.replayBefore(day - kReplayWindowDays);
        d.trimLayers();
      }
    nextReplay = day + kReplayWindowDays / 2;
  }
};

namespace {

using LineStream = MovementCache::LineStream;

// Every kind's lines, each stream on its first line; the headers are read whole first.
std::vector<LineStream> openStreams(Connection& connection, Transaction* snapshot) {
  const auto& kinds = cacheStatements().streams;
  std::vector<LineStream> streams(kinds.size());
  {
    Query headers(connection);
    headers.setTransaction(snapshot);
    for (std::size_t k = 0; k < streams.size(); ++k) {
      streams[k].kind = kinds[k].kind;
      headers.setSql(kinds[k].headers);
      streams[k].headers.read(headers);
    }
  }
  for (std::size_t k = 0; k < streams.size(); ++k) {
    streams[k].lines = std::make_unique<Query>(connection);
    streams[k].lines->setTransaction(snapshot);
    streams[k].lines->setSql(kinds[k].lines);
    streams[k].lines->openStream();
    streams[k].advance();
  }
  return streams;
}

// The stream whose line is dated first; null when every stream has ended.
LineStream* earliest(std::vector<LineStream>& streams) {
  LineStream* next = nullptr;
  for (LineStream& s : streams)
    if (s.header && (!next || s.header->at < next->header->at)) next = &s;
  return next;
}

Line streamedLine(const Query& q, const Header& h, DateTime day) {
  Line l;
  l.at = h.at;
  l.day = day;
  l.isn = q.asInteger(kLineIsn);
  l.quantity = q.asDouble(kLineQuantity);
  l.quantityNull = q.isNull(kLineQuantity);
  l.cost = q.asDouble(kLineCost);
  l.costNull = q.isNull(kLineCost);
  l.averaged = h.averaged;
  return l;
}

// An issue line as a client-sale look-up reads it.
ClientSaleBook::Sale saleOf(const Query& q, const Header& h) {
  ClientSaleBook::Sale sale;
  sale.at = h.at;
  sale.isn = q.asInteger(kLineIsn);
  sale.quantity = q.asDouble(kLineQuantity);
  sale.quantityNull = q.isNull(kLineQuantity);
  sale.salePrice = salePrice(q.asDouble(kLinePrice), q.asDouble(kLineMarkup));
  sale.cost = q.asDouble(kLineSaleCost);
  return sale;
}

}  // namespace

// Every kind's lines stream at once, merged by day, so the folded average can be replayed as the
// days go by instead of holding ten years of movements.
void MovementCache::loadAll() {
  if (!snapshot_) readThrough_ = ReadThrough::Outside;
  sales_.clear();
  if (folding()) wantClientSales();
  BulkRead read;
  read.gatherSales = sales_.wantsAny();
  read.average = averageAsked_;
  std::vector<LineStream> streams = openStreams(connection_, snapshot_);
  while (LineStream* next = earliest(streams)) {
    const DateTime day = wholeDate(next->header->at);
    if (day >= read.nextReplay && day < fold_.day) read.replayBehind(day);
    takeLine(*next, day, read);
    next->advance();
  }
  keepRead(read);
  sales_.finish();
}

void MovementCache::takeLine(const LineStream& stream, DateTime day, BulkRead& read) {
  const Query& q = *stream.lines;
  const Header& h = *stream.header;
  const int goodsKey = q.asInteger(kLineGoods);
  if (read.gatherSales && stream.kind == MovementKind::Issue && h.other != kNullKey &&
      sales_.wants(goodsKey, h.other)) {
    ClientSaleBook::Sale sale = saleOf(q, h);
    if (const double* own = passWrites_.cost(CostColumn::IssueIepCena, sale.isn)) sale.cost = *own;
    sales_.add(goodsKey, h.other, sale);
  }
  Goods* g = read.goodsOf(goodsKey);
  if (!g) return;
  Line l = streamedLine(q, h, day);
  layOwnCost(stream.kind, l);
  if (!g->file(stream.kind, l, h.dept, h.other, fold_.day, read.average)) read.readWhole(goodsKey);
}

void MovementCache::keepRead(BulkRead& read) {
  for (auto& [key, g] : read.all) {
    // A goods read on its own already holds the same lines and maybe the tool's writes since.
    if (goods_.contains(key)) continue;
    g->finish();
    Goods& held = *goods_.emplace(key, std::move(g)).first->second;
    index(key, held);
  }
  whole_ = std::move(read.whole);
  coverage_ = Coverage::EveryGoods;
}

void MovementCache::wantClientSales() {
  Query wanted(connection_);
  wanted.setTransaction(snapshot_);
  wanted.setSql(cacheStatements().clientSalesWanted);
  wanted.setDateTime("DAT_NO", fold_.day);
  for (wanted.openStream(); wanted.fetch();) sales_.want(wanted.asInteger(0), wanted.asInteger(1));
}

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

namespace {

// Beyond this many goods to read again (or a quarter of those held), one pass over the tables is
// cheaper.
constexpr std::size_t kGoodsReadAgainAtMost = 200;

}  // namespace

bool MovementCache::touchedGoods(const DocumentChanges& changes, std::unordered_set<int>& touched) const {
  if (changes.headerEditedOrRowGone()) return false;
  // The goods of every held line of a changed table, by key; a changed line not held may be folded.
  std::unordered_map<std::string, std::unordered_map<std::int32_t, int>> heldBy;
  for (const MovementKindRow& row : kMovementKindRows)
    if (changes.of(row.lines)) heldBy.try_emplace(row.lines);
  if (heldBy.empty()) return true;
  for (const auto& [goodsKey, g] : goods_)
    for (const auto& [dept, d] : g->departments)
      for (const MovementKindRow& row : kMovementKindRows) {
        const auto held = heldBy.find(row.lines);
        if (held == heldBy.end()) continue;
        for (const Line& l : d.lines[row.kind]) held->second.emplace(l.isn, goodsKey);
      }
  for (auto& [table, held] : heldBy) {
    const auto goodsBefore = [&held = held](std::int32_t key) -> std::optional<std::int32_t> {
      const auto line = held.find(key);
      return line == held.end() ? std::nullopt : std::optional<std::int32_t>(line->second);
    };
    if (!addTouchedGoods(*changes.of(table), goodsBefore, touched)) return false;
  }
  return true;
}

void MovementCache::keepThrough(const DocumentChanges& changes) noexcept {
  trust_ = Trust::Current;
  // The new snapshot sees every write of the passes before.
  passWrites_.clear();
  if (!changes.known || readThrough_ == ReadThrough::Outside || fold_.wanted != fold_.day) {
    settle();
    return;
  }
  try {
    std::unordered_set<int> touched;
    if (!touchedGoods(changes, touched) || touched.size() > std::max(kGoodsReadAgainAtMost, goods_.size() / 4)) {
      settle();
      return;
    }
    for (const int goodsKey : touched) {
      forget(goodsKey);
      sales_.drop(goodsKey);
      // A goods new to the tables has nothing to forget.
      if (coverage_ == Coverage::EveryGoods) whole_.insert(goodsKey);
    }
  } catch (...) {
    settle();
  }
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
  return finitePrice(sumQuantities(0.0, d->lines[Balance], [limit](DateTime day) { return day == limit; }));
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
  consider(d->lines[Receipt], [](const Line&) { return true; });
  consider(d->lines[TransferIn], [](const Line& l) { return l.pricedInflow(); });
  consider(d->lines[Return], [](const Line& l) { return l.pricedInflow() && l.averaged; });
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

void MovementCache::readCommitted(bool keepClientSales) noexcept {
  if (keepClientSales)
    clearMovements();
  else
    clear();
  if (!snapshot_) return;
  snapshot_ = nullptr;
  readThrough_ = ReadThrough::Outside;
}

void MovementCache::layOwnCost(MovementKind kind, Line& line) const {
  const double* written = passWrites_.costOf(kind, line.isn);
  if (!written) return;
  line.cost = *written;
  line.costNull = false;
}

void MovementCache::onData(DataEvent event, const Query* query) noexcept {
  if (event != DataEvent::Written || !query) {
    // A rollback takes the pass's own writes back with it.
    passWrites_.clear();
    clear();
    return;
  }
  try {
    auto known = statements_.find(query->sql());
    if (known == statements_.end()) {
      // The tool's texts are few; a text built anew each time must not pile up.
      if (statements_.size() >= kStatementsKept) statements_.clear();
      known = statements_.emplace(query->sql(), classifyWrite(query->sql())).first;
    }
    switch (known->second.effect) {
      case WriteStatement::Effect::None: return;
      case WriteStatement::Effect::SingleRowCost: applyCost(known->second, *query); return;
      case WriteStatement::Effect::ClientSalesOnly: sales_.clear(); return;
      case WriteStatement::Effect::Unknown:
        // A return's reset, say, leaves the issue lines as they were.
        readCommitted(known->second.clientSalesUntouched);
        return;
    }
  } catch (...) {
    readCommitted();
  }
}

void MovementCache::applyCost(const WriteStatement& write, const Query& query) {
  const double key = query.paramDouble(write.keyParam);
  // 0.0 also stands for a NULL or text key: the line written is unknown.
  if (!(key != 0 && key == std::trunc(key) && key >= std::numeric_limits<std::int32_t>::min() &&
        key <= std::numeric_limits<std::int32_t>::max())) {
    readCommitted();
    return;
  }
  const auto isn = static_cast<std::int32_t>(key);
  if (write.column == CostColumn::IssueIepCena) {
    applyIssueCost(isn, write, query);
    return;
  }
  const double written = write.valueParam.empty() ? 0.0 : query.paramDouble(write.valueParam);
  // A NULL or text reads as 0.0, which every answer treats as a NULL cost.
  if (snapshot_) passWrites_.record(write.column, isn, std::isfinite(written) ? written : 0.0);
  auto& owners = costOwners_[static_cast<int>(write.column)];
  const auto owner = owners.find(isn);
  if (owner == owners.end()) {
    // A line not held is of a goods not read yet, or one no answer depends on; unless some goods
    // hold only a fold of their old lines, which the line may be one of.
    if (coverage_ == Coverage::EveryGoods && folding()) clear();
    return;
  }
  const CostOwner held = owner->second;
  double value = 0.0;
  if (!write.valueParam.empty()) {
    value = query.paramDouble(write.valueParam);
    // 0.0 may equally be a NULL or a text: read the goods again when it is next asked for.
    if (value == 0 || !std::isfinite(value)) {
      forget(held.goods);
      return;
    }
  }
  held.line->cost = value;
  held.line->costNull = false;
  held.department->markCostChanged();
}

// Only the client-sale look-ups read an issue line's cost.
void MovementCache::applyIssueCost(std::int32_t isn, const WriteStatement& write, const Query& query) {
  const std::optional<double> written =
      write.valueParam.empty() ? std::optional<double>(0.0) : query.paramNumber(write.valueParam);
  if (!written || !std::isfinite(*written)) {
    // A text the database converts, or a value it cannot hold: the lines read no longer tell.
    sales_.clear();
    if (snapshot_) readCommitted();
    return;
  }
  if (snapshot_) passWrites_.record(CostColumn::IssueIepCena, isn, *written);
  sales_.setCost(isn, *written);
}

}  // namespace talvix::pricing
