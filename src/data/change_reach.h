#pragma once
// What a look at the stock documents (document_changes.h) reaches of what was read before it: the
// one place that decides it for everything kept between continuous passes, the movement cache,
// the quiet lines, the kinds' kept selections and the day quantities. Each asks here, giving only
// what it alone knows: the goods a line it held had before an edit.
#include "data/document_changes.h"
#include "data/document_tables.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>

namespace talvix {

// No line read before can be kept: the changes are unknown, or a header was edited or a document
// row deleted, which may move lines read long ago to another day, department or client.
bool reachesEveryLine(const DocumentChanges& changes);
// A price also reads the goods register (a goods' service flag): a change there reaches every price.
bool reachesEveryPrice(const DocumentChanges& changes);
// A kind's select reads its header and line tables (and the register, which reaches every price).
bool reachesSelection(const DocumentChanges& changes, const DocumentKindRow& row);
// The day quantities sum the kinds that have them, joined to the goods register.
bool reachesDayQuantities(const DocumentChanges& changes);

// Adds the goods the changed line rows touch, the tool's own writes left out: each row's goods as
// it is now and, for an edited row, as it was, which goodsBefore(table, key) gives (nullopt:
// unknown). False when one is unknown. A header or register row names no goods.
template <typename GoodsBefore>
bool touchedGoods(const DocumentChanges& changes, GoodsBefore goodsBefore, std::unordered_set<std::int32_t>& touched) {
  for (const WatchedTable& table : kWatchedTables) {
    const TableChanges* changed = changes.of(table.name);
    if (!changed || table.role != TableRole::Lines || changes.ownOnly.contains(table.name)) continue;
    TableChanges others{{}, changed->rowsGone};
    for (const ChangedRow& row : changed->rows)
      if (!row.own) others.rows.push_back(row);
    const auto before = [&](std::int32_t key) { return goodsBefore(std::string(table.name), key); };
    if (!addTouchedGoods(others, before, touched)) return false;
  }
  return true;
}

// Whether every row of the tables only the tool's connection wrote is one of its own cost writes,
// to a line of the goods ownBefore(table, key) gives; a row it cannot place reaches everything.
template <typename OwnBefore>
bool ownWritesPlaced(const DocumentChanges& changes, OwnBefore ownBefore) {
  for (const auto& [table, changed] : changes.tables) {
    if (!changes.ownOnly.contains(table)) continue;
    for (const ChangedRow& row : changed.rows)
      if (ownBefore(table, row.key) != row.goods) return false;
  }
  return true;
}

}  // namespace talvix
