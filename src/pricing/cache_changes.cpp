// What the movement cache keeps across changes: the connection's own writes, followed line by
// line or emptying what they may have changed, and, at a continuous pass's start, other users'
// changes since the last pass, which drop the goods they reach.
#include "pricing/movement_cache.h"

#include "data/change_reach.h"
#include "pricing/movement_kinds.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace talvix::pricing {
namespace {

constexpr std::size_t kStatementsKept = 256;
// Beyond this many goods to read again (or a quarter of those held), one pass over the tables is
// cheaper.
constexpr std::size_t kGoodsReadAgainAtMost = 200;

}  // namespace

bool MovementCache::touchedGoods(const DocumentChanges& changes, std::unordered_set<int>& touched) const {
  // The goods of every held line of a changed table, by key; a changed line not held may be folded.
  std::unordered_map<std::string, std::unordered_map<std::int32_t, int>> heldBy;
  for (const MovementKindRow& row : kMovementKindRows)
    if (changes.of(row.lines)) heldBy.try_emplace(row.lines);
  if (heldBy.empty()) return true;
  for (const auto& [goodsKey, g] : goods_)
    for (const auto& [dept, d] : g->departments)
      for (const MovementKindRow& row : kMovementKindRows) {
        const auto held = heldBy.find(row.lines);
        if (held == heldBy.end()) continue;
        for (const Line& l : d.lines[row.kind]) held->second.emplace(l.isn, goodsKey);
      }
  const auto goodsBefore = [&heldBy](const std::string& table, std::int32_t key) -> std::optional<std::int32_t> {
    const auto lines = heldBy.find(table);
    if (lines == heldBy.end()) return std::nullopt;
    const auto line = lines->second.find(key);
    return line == lines->second.end() ? std::nullopt : std::optional<std::int32_t>(line->second);
  };
  return talvix::touchedGoods(changes, goodsBefore, touched);
}

void MovementCache::keepThrough(const DocumentChanges& changes) noexcept {
  trust_ = Trust::Current;
  // The new snapshot sees every write of the passes before.
  passWrites_.clear();
  try {
    std::unordered_set<int> touched;
    if (reachesEveryLine(changes) || readThrough_ == ReadThrough::Outside || fold_.wanted != fold_.day ||
        !touchedGoods(changes, touched) || touched.size() > std::max(kGoodsReadAgainAtMost, goods_.size() / 4)) {
      settle();
      return;
    }
    for (const int goodsKey : touched) {
      forget(goodsKey);
      sales_.drop(goodsKey);
      // A goods new to the tables has nothing to forget.
      if (coverage_ == Coverage::EveryGoods) whole_.insert(goodsKey);
    }
  } catch (...) {
    settle();
  }
}

void MovementCache::onData(DataEvent event, const Query* query) noexcept {
  if (event != DataEvent::Written || !query) {
    // A rollback takes the pass's own writes back with it.
    passWrites_.clear();
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
      case WriteStatement::Effect::None: return;
      case WriteStatement::Effect::SingleRowCost: applyCost(known->second, *query); return;
      case WriteStatement::Effect::ClientSalesOnly: sales_.clear(); return;
      case WriteStatement::Effect::Unknown:
        // A return's reset, say, leaves the issue lines as they were.
        readCommitted(known->second.clientSalesUntouched);
        return;
    }
  } catch (...) {
    readCommitted();
  }
}

void MovementCache::applyCost(const WriteStatement& write, const Query& query) {
  const double key = query.paramDouble(write.keyParam);
  // 0.0 also stands for a NULL or text key: the line written is unknown.
  if (!(key != 0 && key == std::trunc(key) && key >= std::numeric_limits<std::int32_t>::min() &&
        key <= std::numeric_limits<std::int32_t>::max())) {
    readCommitted();
    return;
  }
  const auto isn = static_cast<std::int32_t>(key);
  if (write.column == CostColumn::IssueIepCena) {
    applyIssueCost(isn, write, query);
    return;
  }
  const double written = write.valueParam.empty() ? 0.0 : query.paramDouble(write.valueParam);
  // A NULL or text reads as 0.0, which every answer treats as a NULL cost.
  if (snapshot_) passWrites_.record(write.column, isn, std::isfinite(written) ? written : 0.0);
  auto& owners = costOwners_[static_cast<int>(write.column)];
  const auto owner = owners.find(isn);
  if (owner == owners.end()) {
    // A line not held is of a goods not read yet, or one no answer depends on; unless some goods
    // hold only a fold of their old lines, which the line may be one of.
    if (coverage_ == Coverage::EveryGoods && folding()) clear();
    return;
  }
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

// Only the client-sale look-ups read an issue line's cost.
void MovementCache::applyIssueCost(std::int32_t isn, const WriteStatement& write, const Query& query) {
  const std::optional<double> written =
      write.valueParam.empty() ? std::optional<double>(0.0) : query.paramNumber(write.valueParam);
  if (!written || !std::isfinite(*written)) {
    // A text the database converts, or a value it cannot hold: the lines read no longer tell.
    sales_.clear();
    if (snapshot_) readCommitted();
    return;
  }
  if (snapshot_) passWrites_.record(CostColumn::IssueIepCena, isn, *written);
  sales_.setCost(isn, *written);
}

void MovementCache::readCommitted(bool keepClientSales) noexcept {
  if (keepClientSales)
    clearMovements();
  else
    clear();
  if (!snapshot_) return;
  snapshot_ = nullptr;
  readThrough_ = ReadThrough::Outside;
}

void MovementCache::layOwnCost(MovementKind kind, Line& line) const {
  const double* written = passWrites_.costOf(kind, line.isn);
  if (!written) return;
  line.cost = *written;
  line.costNull = false;
}

}  // namespace talvix::pricing
