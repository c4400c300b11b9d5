#include "pricing/movement_cache.h"

#include "data/document_tables.h"
#include "pricing/finite_price.h"
#include "pricing/weighted_average.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace talvix::pricing {
namespace {

// Every line of one goods with its header's date and departments. Each branch walks the lines
// through their ISPRECE index like the statements in stock_movements.cpp, so the lines of each
// kind arrive in the order those statements add them up. The receipt price, the confirmed test
// and FROM_WHAT = 2 are evaluated by the database, as there.
// Columns: KIND (MovementKind; TransferIn stands for the whole transfer line), ISN, DATUMS,
// DEPT, DEPT_TO (transfers), AVERAGED (returns), DAUDZUMS, COST.
constexpr const char* kGoodsSql =
    "SELECT 2 AS KIND, L.ISN, H.DAT_SANEM AS DATUMS, H.ISNODALA AS DEPT, CAST(NULL AS INTEGER) AS DEPT_TO,"
    " 0 AS AVERAGED, L.DAUDZUMS, L.CENA*(1+COALESCE(L.ATLAIDE,0)/100) AS COST" TALVIX_GOODS_LINES("O_PRECE", "O_PAVADZ",
                                                                                           "ISPAVADZ")
    " UNION ALL SELECT 1, L.ISN, H.DATUMS, H.ISNODALANO, H.ISNODALAUZ, 0, L.DAUDZUMS, L.CENA" TALVIX_GOODS_LINES(
        "O_PARPRC", "O_PARPAV", "ISPARVPAV")
    " UNION ALL SELECT 0, L.ISN, H.DATUMS, H.ISNODALA, NULL, CASE WHEN H.FROM_WHAT = 2 THEN 1 ELSE 0 END,"
    " L.DAUDZUMS, L.IEP_CENA" TALVIX_GOODS_LINES("O_ATGPRC", "O_ATGPAV", "ISATGPAV")
    " UNION ALL SELECT 3, L.ISN, H.DATUMS, H.ISNODALA, NULL, 0, L.DAUDZUMS, L.IEP_CENA" TALVIX_GOODS_LINES(
        "O_PRATL_PRC", "O_PRATL_PAV", "ISPRATLPAV") " AND (H.NEAPSTIPR IS NULL OR H.NEAPSTIPR <> 'T')"
    " UNION ALL SELECT 4, L.ISN, H.DATUMS, H.ISNODALA, NULL, 0, L.DAUDZUMS, NULL" TALVIX_GOODS_LINES(
        "O_PRCOUT", "O_PAVOUT", "ISPAVOUT");

constexpr std::size_t kStatementsKept = 256;

enum Column { kKind, kIsn, kDate, kDept, kDeptTo, kAveraged, kQuantity, kCost };

// Every goods at once: per kind, the headers, then the lines in table order, which within each
// goods is the order its index gives them. Headers: ISN, date, departments, AVERAGED; lines:
// ISN, header key, goods, DAUDZUMS, COST.
struct KindTables {
  MovementKind kind;
  const char* headers;
  const char* lines;
};
constexpr KindTables kKindTables[] = {
    {MovementKind::Receipt, "SELECT ISN, DAT_SANEM, ISNODALA, CAST(NULL AS INTEGER), 0 FROM O_PAVADZ",
     "SELECT ISN, ISPAVADZ, ISPRECE, DAUDZUMS, CENA*(1+COALESCE(ATLAIDE,0)/100) FROM O_PRECE"},
    {MovementKind::TransferIn, "SELECT ISN, DATUMS, ISNODALANO, ISNODALAUZ, 0 FROM O_PARPAV",
     "SELECT ISN, ISPARVPAV, ISPRECE, DAUDZUMS, CENA FROM O_PARPRC"},
    {MovementKind::Return,
     "SELECT ISN, DATUMS, ISNODALA, CAST(NULL AS INTEGER), CASE WHEN FROM_WHAT = 2 THEN 1 ELSE 0 END FROM O_ATGPAV",
     "SELECT ISN, ISATGPAV, ISPRECE, DAUDZUMS, IEP_CENA FROM O_ATGPRC"},
    {MovementKind::Balance,
     "SELECT ISN, DATUMS, ISNODALA, CAST(NULL AS INTEGER), 0 FROM O_PRATL_PAV"
     " WHERE NEAPSTIPR IS NULL OR NEAPSTIPR <> 'T'",
     "SELECT ISN, ISPRATLPAV, ISPRECE, DAUDZUMS, IEP_CENA FROM O_PRATL_PRC"},
    {MovementKind::Issue, "SELECT ISN, DATUMS, ISNODALA, CAST(NULL AS INTEGER), 0 FROM O_PAVOUT",
     "SELECT ISN, ISPAVOUT, ISPRECE, DAUDZUMS, CAST(NULL AS DOUBLE PRECISION) FROM O_PRCOUT"},
};
enum HeaderColumn { kHeaderIsn, kHeaderDate, kHeaderDept, kHeaderDeptTo, kHeaderAveraged };
enum LineColumn { kLineIsn, kLineHeader, kLineGoods, kLineQuantity, kLineCost };

std::optional<int> optionalInteger(const Query& q, int field) {
  if (q.isNull(field)) return std::nullopt;
  return q.asInteger(field);
}

}  // namespace

struct MovementCache::Line {
  DateTime day = 0;
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

// SUM(DAUDZUMS) over the lines that pass, added in their order; NULLs skipped.
template <typename Pass>
double sumQuantities(const std::vector<Line>& lines, Pass pass) {
  double total = 0.0;
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

// The last day a statement bound with date reads: DATUMS < DAY_END is day(DATUMS) <= day(date).
DateTime dayLimit(DateTime date) { return wholeDate(date); }

}  // namespace

struct MovementCache::Department {
  // Each kind in the order the goods index gives it.
  std::vector<Line> receipts, transfersIn, returns, balances, issues, transfersOut;
  std::vector<PricePoint> lastPrices;

  bool layersStale = true;
  std::vector<Movement> layers;  // newest first
  bool averageStale = true;
  std::vector<DateTime> averageDays;  // replay order
  std::vector<double> averages;       // the cost after each step of the replay

  void markCostChanged() { layersStale = averageStale = true; }

  const std::vector<Movement>& sortedLayers() {
    if (!layersStale) return layers;
    layers.clear();
    auto add = [&](MovementKind kind, const std::vector<Line>& lines) {
      for (const Line& l : lines)
        if (l.isLayer()) layers.push_back(movementOf(kind, l));
    };
    add(MovementKind::Receipt, receipts);
    add(MovementKind::TransferIn, transfersIn);
    add(MovementKind::Return, returns);
    add(MovementKind::Balance, balances);
    std::sort(layers.begin(), layers.end(), newerFirst);
    layersStale = false;
    return layers;
  }

  void replayAverage() {
    if (!averageStale) return;
    std::vector<Movement> movements;
    auto add = [&](MovementKind kind, const std::vector<Line>& lines, auto counts) {
      for (const Line& l : lines)
        if (counts(l)) movements.push_back(movementOf(kind, l));
    };
    add(MovementKind::Receipt, receipts, [](const Line& l) { return l.pricedInflow(); });
    add(MovementKind::TransferIn, transfersIn, [](const Line& l) { return l.pricedInflow(); });
    add(MovementKind::Return, returns, [](const Line& l) { return l.pricedInflow() && l.averaged; });
    add(MovementKind::Balance, balances, [](const Line& l) { return l.pricedInflow(); });
    add(MovementKind::Issue, issues, [](const Line&) { return true; });
    add(MovementKind::TransferOut, transfersOut, [](const Line&) { return true; });
    std::sort(movements.begin(), movements.end(), replayOrder);
    averageDays.clear();
    averages.clear();
    MovingAverage replay;
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

  // Files one line under its departments (none when NULL), after those of its kind read before.
  void file(MovementKind kind, const Line& l, const std::optional<int>& dept, const std::optional<int>& deptTo);
  void finish();
};

MovementCache::MovementCache(Connection& connection, int goodsBeforeBulk)
    : connection_(connection), load_(connection), goodsBeforeBulk_(goodsBeforeBulk) {
  load_.setSql(kGoodsSql);
}
MovementCache::~MovementCache() = default;

void MovementCache::Goods::file(MovementKind kind, const Line& l, const std::optional<int>& dept,
                                const std::optional<int>& deptTo) {
  switch (kind) {
    case MovementKind::Receipt:
      if (!l.costNull && l.cost != 0) {
        lastPrices.push_back({l.day, l.isn, l.cost});
        if (dept) departments[*dept].lastPrices.push_back({l.day, l.isn, l.cost});
      }
      if (dept) departments[*dept].receipts.push_back(l);
      break;
    case MovementKind::TransferIn:
    case MovementKind::TransferOut:
      if (dept) departments[*dept].transfersOut.push_back(l);
      if (deptTo) departments[*deptTo].transfersIn.push_back(l);
      break;
    case MovementKind::Return:
      if (dept) departments[*dept].returns.push_back(l);
      break;
    case MovementKind::Balance:
      if (dept) departments[*dept].balances.push_back(l);
      break;
    case MovementKind::Issue:
      if (dept) departments[*dept].issues.push_back(l);
      break;
  }
}

void MovementCache::Goods::finish() {
  std::sort(lastPrices.begin(), lastPrices.end(), laterPrice);
  lastPrices.shrink_to_fit();
  for (auto& [key, d] : departments) {
    std::sort(d.lastPrices.begin(), d.lastPrices.end(), laterPrice);
    d.lastPrices.shrink_to_fit();
    for (auto* lines : {&d.receipts, &d.transfersIn, &d.returns, &d.balances, &d.issues, &d.transfersOut})
      lines->shrink_to_fit();
  }
}

std::unique_ptr<MovementCache::Goods> MovementCache::load(int goodsKey) {
  auto loaded = std::make_unique<Goods>();
  load_.setInteger("ISPRECE", goodsKey);
  load_.open();
  for (load_.first(); !load_.eof(); load_.next()) {
    // No statement counts a line without a date.
    if (load_.isNull(kDate)) continue;
    Line l;
    l.day = wholeDate(load_.asDateTime(kDate));
    l.isn = load_.asInteger(kIsn);
    l.quantity = load_.asDouble(kQuantity);
    l.quantityNull = load_.isNull(kQuantity);
    l.cost = load_.asDouble(kCost);
    l.costNull = load_.isNull(kCost);
    l.averaged = load_.asInteger(kAveraged) == 1;
    loaded->file(static_cast<MovementKind>(load_.asInteger(kKind)), l, optionalInteger(load_, kDept),
                 optionalInteger(load_, kDeptTo));
  }
  load_.close();
  loaded->finish();
  return loaded;
}

void MovementCache::loadAll() {
  // Its own statements, so the rows of the largest table are not kept after.
  Query bulk(connection_);
  std::unordered_map<int, std::unique_ptr<Goods>> all;
  struct Header {
    DateTime day;
    std::optional<int> dept, deptTo;
    bool averaged;
  };
  std::unordered_map<std::int32_t, Header> headers;
  for (const KindTables& kind : kKindTables) {
    headers.clear();
    bulk.setSql(kind.headers);
    bulk.open();
    headers.reserve(static_cast<std::size_t>(bulk.rowCount()));
    for (bulk.first(); !bulk.eof(); bulk.next()) {
      if (bulk.isNull(kHeaderDate)) continue;
      headers[bulk.asInteger(kHeaderIsn)] = {wholeDate(bulk.asDateTime(kHeaderDate)),
                                              optionalInteger(bulk, kHeaderDept),
                                              optionalInteger(bulk, kHeaderDeptTo),
                                              bulk.asInteger(kHeaderAveraged) == 1};
    }
    bulk.setSql(kind.lines);
    bulk.open();
    for (bulk.first(); !bulk.eof(); bulk.next()) {
      if (bulk.isNull(kLineGoods) || bulk.isNull(kLineHeader)) continue;
      const auto header = headers.find(bulk.asInteger(kLineHeader));
      if (header == headers.end()) continue;
      Line l;
      l.day = header->second.day;
      l.isn = bulk.asInteger(kLineIsn);
      l.quantity = bulk.asDouble(kLineQuantity);
      l.quantityNull = bulk.isNull(kLineQuantity);
      l.cost = bulk.asDouble(kLineCost);
      l.costNull = bulk.isNull(kLineCost);
      l.averaged = header->second.averaged;
      auto& g = all[bulk.asInteger(kLineGoods)];
      if (!g) g = std::make_unique<Goods>();
      g->file(kind.kind, l, header->second.dept, header->second.deptTo);
    }
    bulk.close();
  }
  for (auto& [key, g] : all) {
    // A goods read on its own already holds the same lines and maybe the tool's writes since.
    if (goods_.contains(key)) continue;
    g->finish();
    Goods& held = *goods_.emplace(key, std::move(g)).first->second;
    index(key, held);
  }
  complete_ = true;
}

MovementCache::Goods& MovementCache::goods(int goodsKey) {
  auto found = goods_.find(goodsKey);
  if (found != goods_.end()) return *found->second;
  if (!complete_ && !bulkTried_ && readOneByOne_ >= goodsBeforeBulk_) {
    bulkTried_ = true;
    loadAll();
    found = goods_.find(goodsKey);
    if (found != goods_.end()) return *found->second;
  }
  // Every goods with a line is held once all were read.
  std::unique_ptr<Goods> loaded = complete_ ? std::make_unique<Goods>() : load(goodsKey);
  if (!complete_) ++readOneByOne_;
  Goods& held = *goods_.emplace(goodsKey, std::move(loaded)).first->second;
  index(goodsKey, held);
  return held;
}

void MovementCache::index(int goodsKey, Goods& loaded) {
  for (auto& [key, d] : loaded.departments) {
    for (Line& l : d.transfersIn) costOwners_[0][l.isn] = {goodsKey, &l, &d};
    for (Line& l : d.returns) costOwners_[1][l.isn] = {goodsKey, &l, &d};
    for (Line& l : d.balances) costOwners_[2][l.isn] = {goodsKey, &l, &d};
  }
}

void MovementCache::forget(int goodsKey) {
  const auto found = goods_.find(goodsKey);
  if (found == goods_.end()) return;
  for (auto& [key, d] : found->second->departments) {
    for (const Line& l : d.transfersIn) costOwners_[0].erase(l.isn);
    for (const Line& l : d.returns) costOwners_[1].erase(l.isn);
    for (const Line& l : d.balances) costOwners_[2].erase(l.isn);
  }
  goods_.erase(found);
  complete_ = false;  // the goods is read on its own when next asked for
}

MovementCache::Department* MovementCache::department(int goodsKey, int dept) {
  Goods& g = goods(goodsKey);
  const auto found = g.departments.find(dept);
  return found == g.departments.end() ? nullptr : &found->second;
}

std::span<const Movement> MovementCache::layers(int goodsKey, int dept, DateTime date) {
  Department* d = department(goodsKey, dept);
  if (!d) return {};
  const std::vector<Movement>& all = d->sortedLayers();
  const DateTime limit = dayLimit(date);
  const auto first =
      std::partition_point(all.begin(), all.end(), [limit](const Movement& m) { return !(m.day <= limit); });
  return {first, all.end()};
}

double MovementCache::stockBeforeOutflows(int goodsKey, int dept, DateTime date) {
  Department* d = department(goodsKey, dept);
  if (!d) return 0.0;
  const DateTime limit = dayLimit(date);
  const auto onOrBefore = [limit](DateTime day) { return day <= limit; };
  const auto before = [limit](DateTime day) { return day < limit; };
  // The rows of the stock statement, added in its order.
  double total = 0.0;
  total += sumQuantities(d->receipts, onOrBefore);
  total += sumQuantities(d->transfersIn, onOrBefore);
  total += sumQuantities(d->returns, onOrBefore);
  total += sumQuantities(d->balances, before);
  total += -sumQuantities(d->issues, before);
  total += -sumQuantities(d->transfersOut, before);
  return finitePrice(total);
}

double MovementCache::balanceOnDay(int goodsKey, int dept, DateTime date) {
  Department* d = department(goodsKey, dept);
  if (!d) return 0.0;
  const DateTime limit = dayLimit(date);
  double total = 0.0;
  total += sumQuantities(d->balances, [limit](DateTime day) { return day == limit; });
  return finitePrice(total);
}

double MovementCache::lastReceiptPrice(int goodsKey, int dept, bool everyDepartment, DateTime date) {
  const std::vector<PricePoint>* prices = nullptr;
  if (everyDepartment) {
    prices = &goods(goodsKey).lastPrices;
  } else {
    Department* d = department(goodsKey, dept);
    if (!d) return 0.0;
    prices = &d->lastPrices;
  }
  const DateTime limit = dayLimit(date);
  const auto first = std::partition_point(prices->begin(), prices->end(),
                                          [limit](const PricePoint& p) { return !(p.day <= limit); });
  return first == prices->end() ? 0.0 : finitePrice(first->price);
}

double MovementCache::movingAverage(int goodsKey, int dept, DateTime date) {
  Department* d = department(goodsKey, dept);
  if (!d) return 0.0;
  d->replayAverage();
  const DateTime limit = dayLimit(date);
  const auto end = std::upper_bound(d->averageDays.begin(), d->averageDays.end(), limit);
  if (end == d->averageDays.begin()) return 0.0;
  return d->averages[static_cast<std::size_t>(end - d->averageDays.begin()) - 1];
}

void MovementCache::clear() noexcept {
  goods_.clear();
  complete_ = bulkTried_ = false;
  readOneByOne_ = 0;
  for (auto& owners : costOwners_) owners.clear();
}

void MovementCache::onData(DataEvent event, const Query* query) noexcept {
  if (event != DataEvent::Written || !query) {
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
      case WriteStatement::Effect::None:
        return;
      case WriteStatement::Effect::SingleRowCost:
        applyCost(known->second, *query);
        return;
      case WriteStatement::Effect::Unknown:
        clear();
        return;
    }
  } catch (...) {
    clear();
  }
}

void MovementCache::applyCost(const WriteStatement& write, const Query& query) {
  const double key = query.paramDouble(write.keyParam);
  // 0.0 also stands for a NULL or text key: the line written is unknown.
  if (!(key != 0 && key == std::trunc(key) && key >= std::numeric_limits<std::int32_t>::min() &&
        key <= std::numeric_limits<std::int32_t>::max())) {
    clear();
    return;
  }
  const auto isn = static_cast<std::int32_t>(key);
  auto& owners = costOwners_[static_cast<int>(write.column)];
  const auto owner = owners.find(isn);
  // A line not held is either of a goods not read yet or one no answer depends on.
  if (owner == owners.end()) return;
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

}  // namespace talvix::pricing
