#pragma once
// The cost a selected line holds: 0.0 or NULL, since the steps select lines without cost. Writing
// back the 0.0 a line already holds changes nothing but leaves a record version for the database
// to collect, on every idle pass, so such a write is skipped; NULL is always replaced.
#include "data/query.h"

namespace talvix {

struct HeldCost {
  bool isNull = true;
  double value = 0.0;

  static HeldCost of(const Query& lines, int field) { return {lines.isNull(field), lines.asDouble(field)}; }
  bool same(double price) const { return !isNull && value == price; }
};

}  // namespace talvix
