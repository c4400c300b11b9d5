#include "run/date_order.h"

#include "data/client_sale.h"
#include "data/query.h"
#include "step/line_reset.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <queue>
#include <unordered_map>

namespace talvix {
namespace {

struct Sale {
  int client;
  double price;  // with its markup
};

// What the passes' selects leave out and the order needs, read only where a day asks for it.
struct SideFacts {
  std::unordered_map<int, int> receivers;  // transfer line -> receiving department
  std::unordered_map<int, Sale> sales;     // issue line -> its sale
  bool salesRead = false;
};

void readPeriod(RunContext& ctx, const char* sql, const std::function<void(const Query&)>& row) {
  Query select(ctx.db());
  select.setTransaction(ctx.documents());
  select.setSql(sql);
  bindPeriod(select, ctx.settings);
  select.openStream();
  while (select.fetch()) row(select);
}

// Lines that share a price, priced together; rank is their place in the run's order of kinds.
struct Unit {
  std::uint32_t pass;
  std::uint32_t first;
  std::uint32_t end;
  int day;
  int goods;
  std::uint64_t rank() const { return (std::uint64_t{pass} << 32) | first; }
};

class DayOrder {
 public:
  DayOrder(const std::vector<std::unique_ptr<KindPass>>& passes, StockMethod method, const SideFacts& facts)
      : passes_(passes), method_(method), facts_(facts) {}

  // The units of one day and goods, in the order they are priced.
  std::vector<const Unit*> order(const Unit* begin, const Unit* end) const {
    const std::size_t n = static_cast<std::size_t>(end - begin);
    std::vector<std::vector<std::size_t>> waiting(n);  // unit -> units that wait for it
    std::vector<int> needs(n, 0);
    for (std::size_t x = 0; x < n; ++x) {
      const bool stock = readsStock(begin[x]);
      for (std::size_t y = 0; y < n; ++y)
        if (x != y && waitsFor(begin[x], stock, begin[y])) {
          waiting[y].push_back(x);
          ++needs[x];
        }
    }
    // Units are in rank order: the smallest index ready goes first; a circle gives way to the first.
    std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>> ready;
    for (std::size_t x = 0; x < n; ++x)
      if (needs[x] == 0) ready.push(x);
    std::vector<bool> done(n, false);
    std::vector<const Unit*> ordered;
    std::size_t nextInRank = 0;
    while (ordered.size() < n) {
      std::size_t x;
      if (!ready.empty()) {
        x = ready.top();
        ready.pop();
        if (done[x]) continue;
      } else {
        while (done[nextInRank]) ++nextInRank;
        x = nextInRank;
      }
      done[x] = true;
      ordered.push_back(begin + x);
      for (const std::size_t w : waiting[x])
        if (--needs[w] == 0 && !done[w]) ready.push(w);
    }
    return ordered;
  }

 private:
  const DocumentLine& line(const Unit& u, std::size_t i) const { return passes_[u.pass]->line(i); }
  DocumentKind kind(const Unit& u) const { return passes_[u.pass]->kindOf(u.first); }
  const KindStock& stock(const Unit& u) const { return kindRow(kind(u)).stock; }
  bool priced(const Unit& u, std::size_t i) const { return !passes_[u.pass]->leavesAlone(i); }

  // Whether a line of x takes the stock of its department from the FIFO layers or the average.
  bool readsStock(const Unit& x) const {
    const KindStock& s = stock(x);
    if (!s.out.told && !s.statesStock) return false;
    // Under FIFO a negative line asks for a sale instead.
    if (s.asksSale != KindStock::AsksSale::NegativeUnderFifo || method_ == StockMethod::WeightedAverage) return true;
    for (std::uint32_t i = x.first; i < x.end; ++i)
      if (line(x, i).quantity >= 0.0) return true;
    return false;
  }

  // Whether line i of y brings stock with a cost into dept.
  bool bringsInto(const Unit& y, std::size_t i, int dept) const {
    const DocumentLine& l = line(y, i);
    const KindStock& s = stock(y);
    if (!s.in.told) return false;
    if (s.out.told) {  // a line between departments brings its goods into the receiving one
      const auto to = facts_.receivers.find(l.isn);
      return to != facts_.receivers.end() && to->second == dept;
    }
    if (l.dept != dept) return false;
    if (s.statesStock) return true;
    return priced(y, i) && (method_ == StockMethod::Fifo || !s.averagedByOrigin || l.origin == kStockInOrigin);
  }

  // Whether line i of x looks for a sale to its client at its price.
  bool readsClientSale(const Unit& x, std::size_t i) const {
    switch (stock(x).asksSale) {
      case KindStock::AsksSale::EveryPricedLine: return priced(x, i);
      case KindStock::AsksSale::NegativeUnderFifo: return method_ == StockMethod::Fifo && line(x, i).quantity < 0.0;
      case KindStock::AsksSale::Never: return false;
    }
    return false;
  }

  Sale saleOf(const DocumentLine& l) const {
    if (!facts_.salesRead) return {l.client, salePrice(l.price, l.markup)};
    const auto sale = facts_.sales.find(l.isn);
    return sale == facts_.sales.end() ? Sale{0, 0.0} : sale->second;
  }

  bool sellsAsAsked(const Unit& y, const DocumentLine& asking) const {
    if (!stock(y).sales) return false;
    const double wanted = salePrice(asking.price, asking.markup);
    for (std::uint32_t i = y.first; i < y.end; ++i) {
      const Sale sale = saleOf(line(y, i));
      if (sale.client == asking.client && line(y, i).date <= asking.date && salePriceMatches(sale.price, wanted))
        return true;
    }
    return false;
  }

  // takesStock: readsStock(x), asked once per unit rather than per pair.
  bool waitsFor(const Unit& x, bool takesStock, const Unit& y) const {
    if (takesStock) {
      const int dept = line(x, x.first).dept;
      for (std::uint32_t i = y.first; i < y.end; ++i)
        if (bringsInto(y, i, dept)) return true;
    }
    for (std::uint32_t i = x.first; i < x.end; ++i) {
      if (!readsClientSale(x, i)) continue;
      if (sellsAsAsked(y, line(x, i))) return true;
      // A line no sale prices falls back on the latest stock stated before it.
      if (stock(x).fallsBackOnStatedStock && stock(y).statesStock && line(y, y.first).date < line(x, i).date)
        return true;
    }
    return false;
  }

  const std::vector<std::unique_ptr<KindPass>>& passes_;
  StockMethod method_;
  const SideFacts& facts_;
};

std::vector<Unit> unitsByDayAndGoods(const std::vector<std::unique_ptr<KindPass>>& passes) {
  std::vector<Unit> units;
  for (std::uint32_t p = 0; p < passes.size(); ++p) {
    const KindPass& pass = *passes[p];
    for (std::size_t first = 0; first < pass.size();) {
      const std::size_t end = pass.unitEnd(first);
      const DocumentLine& head = pass.line(first);
      units.push_back({p, static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(end),
                       static_cast<int>(std::floor(head.date)), head.goods});
      first = end;
    }
  }
  std::sort(units.begin(), units.end(), [](const Unit& a, const Unit& b) {
    if (a.day != b.day) return a.day < b.day;
    if (a.goods != b.goods) return a.goods < b.goods;
    return a.rank() < b.rank();
  });
  return units;
}

bool sameGroup(const Unit& a, const Unit& b) { return a.day == b.day && a.goods == b.goods; }

// Calls group with the units of each day and goods in turn.
void forEachGroup(const std::vector<Unit>& units, const std::function<void(const Unit*, const Unit*)>& group) {
  for (std::size_t begin = 0; begin < units.size();) {
    std::size_t end = begin + 1;
    while (end < units.size() && sameGroup(units[begin], units[end])) ++end;
    group(&units[begin], units.data() + end);
    begin = end;
  }
}

// Whether some day and goods holds a line of kind beside a line of other (any kind when null).
bool side(const std::vector<std::unique_ptr<KindPass>>& passes, const std::vector<Unit>& units, DocumentKind kind,
          std::optional<DocumentKind> other) {
  bool found = false;
  forEachGroup(units, [&](const Unit* begin, const Unit* end) {
    bool mine = false, others = false;
    for (const Unit* u = begin; u != end; ++u) {
      const DocumentKind k = passes[u->pass]->kindOf(u->first);
      if (k == kind && !mine) mine = true;
      else if (!other || k == *other) others = true;
    }
    found = found || (mine && others);
  });
  return found;
}

SideFacts sideFacts(RunContext& ctx, const std::vector<std::unique_ptr<KindPass>>& passes,
                    const std::vector<Unit>& units, StockMethod method) {
  SideFacts facts;
  for (const DocumentKindRow& between : kDocumentKinds)
    if (between.stock.in.told && between.stock.out.told && side(passes, units, between.kind, std::nullopt))
      readPeriod(ctx, between.sideSelect,
                 [&](const Query& row) { facts.receivers.emplace(row.asInteger(0), row.asInteger(1)); });
  // The weighted-average selects leave out the sales' client and price that the asking lines compare.
  if (method != StockMethod::WeightedAverage) return facts;
  for (const DocumentKindRow& asking : kDocumentKinds)
    for (const DocumentKindRow& sales : kDocumentKinds)
      if (asking.stock.asksSale == KindStock::AsksSale::EveryPricedLine && sales.stock.sales && !facts.salesRead &&
          side(passes, units, asking.kind, sales.kind)) {
        facts.salesRead = true;
        readPeriod(ctx, sales.sideSelect, [&](const Query& row) {
          facts.sales.emplace(row.asInteger(0), Sale{row.asInteger(1), salePrice(row.asDouble(2), row.asDouble(3))});
        });
      }
  return facts;
}

}  // namespace

void priceInDateOrder(RunContext& ctx, const std::vector<std::unique_ptr<KindPass>>& passes, StockMethod method) {
  if (passes.empty()) return;
  if (passes.size() == 1) {
    runAlone(ctx, *passes.front());
    return;
  }
  for (const auto& pass : passes) pass->begin(false);
  const std::vector<Unit> units = unitsByDayAndGoods(passes);
  const SideFacts facts = sideFacts(ctx, passes, units, method);
  const DayOrder dayOrder(passes, method, facts);
  std::size_t total = 0;
  for (const auto& pass : passes) total += pass->size();
  if (total > 0) ctx.log.AddProcessLine("", false);  // the counter's line
  ProgressCounter counter(ctx.log, 1, total);
  forEachGroup(units, [&](const Unit* begin, const Unit* end) {
    ctx.reach.day = begin->day;
    for (const Unit* unit : dayOrder.order(begin, end)) passes[unit->pass]->price(unit->first, unit->end, counter);
  });
  for (const auto& pass : passes) pass->end();
}

}  // namespace talvix
