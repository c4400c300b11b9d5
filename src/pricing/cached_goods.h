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
  bool folded = false;        // lines dated before the fold day are only in the departments' fold
  bool averageFolded = true;  // false: folded without the moving average, which it cannot answer

  // Files one line under its departments (none when NULL), after those of its kind read before;
  // dated before foldDay, it is folded instead (the moving average only when average). False when
  // it could not be folded.
  bool file(MovementKind kind, const Line& l, std::int32_t dept, std::int32_t deptTo, DateTime foldDay,
            bool average = true);
  // After the last line: the prices latest first, the folds ended, the spare room given back.
  void finish();

 private:
  Department& department(std::int32_t key);
  // The departments by key, in the order first met: a few, so a scan beats hashing.
  std::vector<std::pair<std::int32_t, Department*>> byKey_;
};

}  // namespace talvix::pricing::cache
