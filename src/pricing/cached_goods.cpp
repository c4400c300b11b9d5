#include "pricing/cached_goods.h"

#include <algorithm>

namespace talvix::pricing::cache {

Department& Goods::department(std::int32_t key) {
  for (const auto& [held, d] : byKey_)
    if (held == key) return *d;
  Department& d = departments[key];  // a node map: d stays where it is
  byKey_.emplace_back(key, &d);
  return d;
}

bool Goods::file(MovementKind kind, const Line& l, std::int32_t dept, std::int32_t deptTo, DateTime foldDay,
                 bool average) {
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
  const MovementKindRow& row = rowOf(kind);
  if (!row.document) {  // a receipt: a last purchase price
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
  }
  if (row.outflowHalf) {  // out of dept into deptTo
    const bool out = put(dept, *row.outflowHalf);
    return put(deptTo, kind) && out;
  }
  return put(dept, kind);
}

void Goods::finish() {
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

}  // namespace talvix::pricing::cache
