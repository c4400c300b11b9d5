// The movement cache's reads: one goods' lines through the goods index, or every goods at once in
// one pass over the tables, each kind's lines streaming beside the others merged by day, the lines
// dated before the fold day folded as the days go by (cached_department.h), the client-sale look-ups'
// issue lines gathered on the way.
#include "pricing/movement_cache.h"

#include "pricing/header_book.h"
#include "pricing/key_slots.h"
#include "pricing/movement_kinds.h"

#include <limits>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace talvix::pricing {

using cache::Goods;
using cache::Header;
using cache::kNullKey;
using cache::Line;

namespace {

// The columns of cacheStatements(): one goods' lines, and each kind's lines.
enum Column { kKind, kIsn, kDate, kDept, kDeptTo, kAveraged, kQuantity, kCost };
enum LineColumn { kLineIsn, kLineHeader, kLineGoods, kLineQuantity, kLineCost, kLineSaleCost, kLinePrice, kLineMarkup };

// A costed history older than this many days behind the stream is replayed into the folded average;
// a line the stream meets later than that makes its goods read whole instead.
constexpr DateTime kReplayWindowDays = 62;

}  // namespace

std::unique_ptr<Goods> MovementCache::load(int goodsKey) {
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
    loaded->file(kind, l, cache::keyOrNull(load_, kDept), cache::keyOrNull(load_, kDeptTo),
                 -std::numeric_limits<DateTime>::infinity());
  }
  load_.close();
  loaded->finish();
  return loaded;
}

// One kind's lines as they stream, each with its header.
struct MovementCache::LineStream {
  MovementKind kind;
  cache::HeaderBook headers;
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

using Streams = MovementCache::Streams;

bool streamed(Streams which, MovementKind kind) {
  return which == Streams::All || (which == Streams::Inflows) == isInflow(kind);
}

// The kinds' lines, each stream on its first line; their headers are read whole first.
std::vector<LineStream> openStreams(Connection& connection, Transaction* snapshot, Streams which) {
  std::vector<LineStream> streams;
  Query headers(connection);
  headers.setTransaction(snapshot);
  for (const KindStream& kind : cacheStatements().streams) {
    if (!streamed(which, kind.kind)) continue;
    LineStream& s = streams.emplace_back();
    s.kind = kind.kind;
    headers.setSql(kind.headers);
    s.headers.read(headers);
    s.lines = std::make_unique<Query>(connection);
    s.lines->setTransaction(snapshot);
    s.lines->setSql(kind.lines);
  }
  for (LineStream& s : streams) {
    s.lines->openStream();
    s.advance();
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

// With the moving average, every kind's lines stream at once, merged by day, so that it is replayed
// as the days go by instead of holding ten years of movements. Without it, the outflows stream
// first: the inflows that follow then know every folded outflow, so each goods keeps only the
// layers that stock could still walk, and the outflows' many headers are gone before they come.
void MovementCache::loadAll() {
  if (!snapshot_) readThrough_ = ReadThrough::Outside;
  sales_.clear();
  if (folding()) wantClientSales();
  BulkRead read;
  read.gatherSales = sales_.wantsAny();
  read.average = averageAsked_;
  if (read.average) {
    streamLines(Streams::All, read);
  } else {
    streamLines(Streams::Outflows, read);
    streamLines(Streams::Inflows, read);
  }
  keepRead(read);
  sales_.finish();
}

void MovementCache::streamLines(Streams which, BulkRead& read) {
  std::vector<LineStream> streams = openStreams(connection_, snapshot_, which);
  // Outflows alone leave nothing to replay or trim.
  const bool replay = which != Streams::Outflows;
  while (LineStream* next = earliest(streams)) {
    const DateTime day = wholeDate(next->header->at);
    if (replay && day >= read.nextReplay && day < fold_.day) read.replayBehind(day);
    takeLine(*next, day, read);
    next->advance();
  }
}

void MovementCache::takeLine(const LineStream& stream, DateTime day, BulkRead& read) {
  const Query& q = *stream.lines;
  const Header& h = *stream.header;
  const int goodsKey = q.asInteger(kLineGoods);
  if (read.gatherSales && rowOf(stream.kind).stock->sales && h.other != kNullKey && sales_.wants(goodsKey, h.other)) {
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

}  // namespace talvix::pricing
