#include "data/change_reach.h"

namespace talvix {

bool reachesEveryLine(const DocumentChanges& changes) { return !changes.known || changes.headerEditedOrRowGone(); }

bool reachesEveryPrice(const DocumentChanges& changes) {
  return reachesEveryLine(changes) || changes.of(kGoodsRegisterTable);
}

bool reachesSelection(const DocumentChanges& changes, const DocumentKindRow& row) {
  return changes.of(row.tables.header) || changes.of(row.tables.lines);
}

bool reachesDayQuantities(const DocumentChanges& changes) {
  if (!changes.known || changes.of(kGoodsRegisterTable)) return true;
  for (const DocumentKindRow& row : kDocumentKinds)
    if (row.dayQuantity && reachesSelection(changes, row)) return true;
  return false;
}

}  // namespace talvix
