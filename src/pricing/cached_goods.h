#pragma once
// One goods as the movement cache holds it: its departments' lines (or their fold) and every
// department's receipt prices. Filled line by line in table order by one goods' read or by the
// pass over the tables, then finished once; owned by the cache.
#include "pricing/cached_department.h"

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace talvix::pricing::cache {

struct Goods {
  std::unordered_map<int, Department> departments;
  std::vector<PricePoint> lastPrices;  // every department's, and receipts without one
  std::optional<PricePoint> historyPrice;
  bool folded = false;  // lines dated before the fold day are only in the departments' fold

  // Files one line under its departments (none when NULL), after those of its kind read before;
  // dated before foldDay, it is folded instead. False when it could not be folded.
  bool file(MovementKind kind, const Line& l, std::int32_t dept, std::int32_t deptTo, DateTime foldDay);
  // After the last line: the prices latest first, the folds ended, the spare room given back.
  void finish();
};

}  // namespace talvix::pricing::cache
