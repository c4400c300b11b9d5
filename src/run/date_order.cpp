#include "run/date_order.h"

#include "data/client_sale.h"
#include "data/query.h"
#include "step/line_reset.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <queue>
#include <unordered_map>

namespace talvix {
namespace {

// The departments the period's transfer lines go to; the transfer selects name only the sender.
constexpr const char* kReceivingDepartmentsSql =
    "SELECT O_PARPRC.ISN, O_PARPAV.ISNODALAUZ FROM O_PARPAV, O_PARPRC WHERE O_PARPAV.ISN = O_PARPRC.ISPARVPAV "
    "AND O_PARPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ";

using Receivers = std::unordered_map<int, int>;

Receivers readReceivers(RunContext& ctx) {
  Receivers receivers;
  Query select(ctx.db());
  select.setTransaction(ctx.documents());
  select.setSql(kReceivingDepartmentsSql);
  bindPeriod(select, ctx.settings);
  select.openStream();
  while (select.fetch()) receivers.emplace(select.asInteger(0), select.asInteger(1));
  return receivers;
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
  DayOrder(const std::vector<std::unique_ptr<KindPass>>& passes, StockMethod method, const Receivers& receivers)
      : passes_(passes), method_(method), receivers_(receivers) {}

  // The units of one day and goods, in the order they are priced.
  std::vector<const Unit*> order(const Unit* begin, const Unit* end) const {
    const std::size_t n = static_cast<std::size_t>(end - begin);
    std::vector<std::vector<std::size_t>> waiting(n);  // unit -> units that wait for it
    std::vector<int> needs(n, 0);
    for (std::size_t x = 0; x < n; ++x)
      for (std::size_t y = 0; y < n; ++y)
        if (x != y && waitsFor(begin[x], begin[y])) {
          waiting[y].push_back(x);
          ++needs[x];
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
  bool priced(const Unit& u, std::size_t i) const { return !passes_[u.pass]->leavesAlone(i); }

  // Whether a line of x takes the stock of its department from the FIFO layers or the average.
  bool readsStock(const Unit& x) const {
    switch (kind(x)) {
      case DocumentKind::Transfer:
      case DocumentKind::Balance:
        return true;
      case DocumentKind::Issue:
        if (method_ == StockMethod::WeightedAverage) return true;
        for (std::uint32_t i = x.first; i < x.end; ++i)
          if (line(x, i).quantity >= 0.0) return true;
        return false;
      case DocumentKind::Return:
        return false;
    }
    return false;
  }

  // Whether line i of y brings stock with a cost into dept.
  bool bringsInto(const Unit& y, std::size_t i, int dept) const {
    const DocumentLine& l = line(y, i);
    switch (kind(y)) {
      case DocumentKind::Transfer: {
        const auto to = receivers_.find(l.isn);
        return to != receivers_.end() && to->second == dept;
      }
      case DocumentKind::Return:
        return l.dept == dept && priced(y, i) && (method_ == StockMethod::Fifo || l.origin == 2);
      case DocumentKind::Balance:
        return l.dept == dept;
      case DocumentKind::Issue:
        return false;
    }
    return false;
  }

  // Whether line i of x looks for a sale to its client at its price.
  bool readsClientSale(const Unit& x, std::size_t i) const {
    switch (kind(x)) {
      case DocumentKind::Return:
        return priced(x, i);
      case DocumentKind::Issue:
        return method_ == StockMethod::Fifo && line(x, i).quantity < 0.0;
      default:
        return false;
    }
  }

  bool sellsAsAsked(const Unit& y, const DocumentLine& asking) const {
    if (kind(y) != DocumentKind::Issue) return false;
    const double wanted = salePrice(asking.price, asking.markup);
    for (std::uint32_t i = y.first; i < y.end; ++i) {
      const DocumentLine& sale = line(y, i);
      if (sale.client == asking.client && sale.date <= asking.date &&
          salePriceMatches(salePrice(sale.price, sale.markup), wanted))
        return true;
    }
    return false;
  }

  bool waitsFor(const Unit& x, const Unit& y) const {
    if (readsStock(x)) {
      const int dept = line(x, x.first).dept;
      for (std::uint32_t i = y.first; i < y.end; ++i)
        if (bringsInto(y, i, dept)) return true;
    }
    for (std::uint32_t i = x.first; i < x.end; ++i) {
      if (!readsClientSale(x, i)) continue;
      if (sellsAsAsked(y, line(x, i))) return true;
      // A return falls back on the latest goods balance dated before it.
      if (kind(x) == DocumentKind::Return && kind(y) == DocumentKind::Balance && line(y, y.first).date < line(x, i).date)
        return true;
    }
    return false;
  }

  const std::vector<std::unique_ptr<KindPass>>& passes_;
  StockMethod method_;
  const Receivers& receivers_;
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

// Only a day and goods with a transfer beside another line needs to know where transfers go.
bool needsReceivers(const std::vector<std::unique_ptr<KindPass>>& passes, const std::vector<Unit>& units) {
  for (std::size_t i = 0; i + 1 < units.size(); ++i) {
    if (!sameGroup(units[i], units[i + 1])) continue;
    for (const Unit* u : {&units[i], &units[i + 1]})
      if (passes[u->pass]->kindOf(u->first) == DocumentKind::Transfer) return true;
  }
  return false;
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
  const Receivers receivers = needsReceivers(passes, units) ? readReceivers(ctx) : Receivers();
  const DayOrder dayOrder(passes, method, receivers);
  std::size_t total = 0;
  for (const auto& pass : passes) total += pass->size();
  if (total > 0) ctx.log.AddProcessLine("", false);  // the counter's line
  ProgressCounter counter(ctx.log, 1, total);
  for (std::size_t begin = 0; begin < units.size();) {
    std::size_t end = begin + 1;
    while (end < units.size() && sameGroup(units[begin], units[end])) ++end;
    for (const Unit* unit : dayOrder.order(&units[begin], &units[end]))
      passes[unit->pass]->price(unit->first, unit->end, counter);
    begin = end;
  }
  for (const auto& pass : passes) pass->end();
}

}  // namespace talvix
