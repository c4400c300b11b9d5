#include "run/preview_run.h"

#include "data/query.h"
#include "run/dispatcher.h"
#include "run/fifo_run.h"
#include "run/weighted_average_run.h"
#include "step/line_reset.h"
#include "step/price_rule.h"
#include "step/stop_request.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

namespace talvix {
namespace {

constexpr const char* kUpdatePrefix = "UPDATE ";
constexpr const char* kLineKey = "ISN";

// The period's lines of one kind with their cost; the same columns for every kind.
std::string linesSql(const DocumentTables& t) {
  const std::string lines = t.lines, header = t.header;
  return "SELECT L.ISN, H." + std::string(t.date) + " DATUMS, H." + t.dept + " ISNODALA, L.ISPRECE, L.DAUDZUMS, L." +
         t.cost + " COST, N_KLPREC.NOSAUKUMS FROM " + lines + " L JOIN " + header + " H ON H.ISN = L." + t.headerKey +
         " JOIN N_KLPREC ON N_KLPREC.ISN = L.ISPRECE WHERE H." + t.date + " BETWEEN :DAT_NO AND :DAT_LIDZ";
}

std::int64_t lineId(DocumentKind kind, int isn) {
  return (static_cast<std::int64_t>(kind) << 32) | static_cast<std::uint32_t>(isn);
}

// A line's cost as the period's select read it.
struct HeldCost {
  double cost;
  bool isNull;
  bool operator==(const HeldCost&) const = default;
};

// Every line of the period, a row at a time: its kind and the open select on its row.
void forEachLine(RunContext& ctx, const std::function<void(DocumentKind, const Query&)>& row) {
  for (const DocumentKind kind : kAllKinds) {
    Query select(ctx.db());
    select.setSql(linesSql(tablesOf(kind)));
    bindPeriod(select, ctx.settings);
    select.openStream();  // a year's lines are compared as they come, not held twice
    while (select.fetch()) row(kind, select);
  }
}

HeldCost heldCost(const Query& row) {
  const int cost = row.fieldIndex("COST");
  return {row.asDouble(cost), row.isNull(cost)};
}

// The cost of every line of the period, by lineId; sorted, for a year's lines cost a third of a map.
struct HeldLine {
  std::int64_t id;
  HeldCost cost;
};
using HeldLines = std::deque<HeldLine>;  // grows without doubling

HeldLines readCosts(RunContext& ctx) {
  HeldLines held;
  forEachLine(ctx, [&](DocumentKind kind, const Query& row) {
    held.push_back({lineId(kind, row.asInteger(row.fieldIndex("ISN"))), heldCost(row)});
  });
  std::sort(held.begin(), held.end(), [](const HeldLine& a, const HeldLine& b) { return a.id < b.id; });
  return held;
}

const HeldLine* findHeld(const HeldLines& held, std::int64_t id) {
  const auto at = std::lower_bound(held.begin(), held.end(), id, [](const HeldLine& l, std::int64_t i) { return l.id < i; });
  return at == held.end() || at->id != id ? nullptr : &*at;
}

// The lines the run wrote by their key, in the order heard on the connection.
class WriteOrder {
 public:
  explicit WriteOrder(Connection& connection) : connection_(connection) {
    id_ = connection.addDataObserver([this](DataEvent event, const Query* query) {
      if (event == DataEvent::Written && query) heard(*query);
    });
  }
  ~WriteOrder() { connection_.removeDataObserver(id_); }
  WriteOrder(const WriteOrder&) = delete;
  WriteOrder& operator=(const WriteOrder&) = delete;

  // The place of the last write to each of ids (0 for a line never written by its key: a reset of
  // many lines at once comes first).
  std::vector<std::int64_t> lastOf(const std::vector<std::int64_t>& ids) const {
    std::vector<std::pair<std::int64_t, std::uint32_t>> byId(ids.size());
    for (std::uint32_t i = 0; i < ids.size(); ++i) byId[i] = {ids[i], i};
    std::sort(byId.begin(), byId.end());
    std::vector<std::int64_t> last(ids.size(), 0);
    for (std::size_t w = 0; w < written_.size(); ++w) {
      const auto at = std::lower_bound(byId.begin(), byId.end(), std::make_pair(written_[w], std::uint32_t{0}));
      if (at != byId.end() && at->first == written_[w]) last[at->second] = static_cast<std::int64_t>(w) + 1;
    }
    return last;
  }

 private:
  void heard(const Query& query) {
    if (!query.hasParameter(kLineKey)) return;
    for (const DocumentKind kind : kAllKinds) {
      const std::string prefix = kUpdatePrefix + std::string(tablesOf(kind).lines) + " ";
      if (query.sql().compare(0, prefix.size(), prefix) != 0) continue;
      written_.push_back(lineId(kind, static_cast<int>(query.paramDouble(kLineKey))));
      return;
    }
  }

  Connection& connection_;
  int id_ = 0;
  std::vector<std::int64_t> written_;
};

// The default transaction as a held snapshot for the scope's life; everything in it is rolled back
// when the scope ends, and the run's caches of what it read go with it.
class HeldScope {
 public:
  explicit HeldScope(RunContext& ctx) : ctx_(ctx) {
    ctx.state.endPassSnapshot();
    ctx.tran().deactivate();
    ctx.tran().setKind(Transaction::Kind::HeldSnapshot);
    ctx.preview = true;
  }
  ~HeldScope() {
    ctx_.preview = false;
    try {
      ctx_.tran().deactivate();
    } catch (const std::exception&) {
      // Nothing was committed: a transaction the server lost is undone there.
    }
    ctx_.tran().setKind(Transaction::Kind::ReadCommitted);
    ctx_.state.sqlDienDaudzums.clear();
    ctx_.state.sqlDienDaudzAtlikumi.clear();
  }
  HeldScope(const HeldScope&) = delete;
  HeldScope& operator=(const HeldScope&) = delete;

 private:
  RunContext& ctx_;
};

int runPlace(DocumentKind kind) {
  return static_cast<int>(std::find(std::begin(kKindsInRunOrder), std::end(kKindsInRunOrder), kind) -
                          std::begin(kKindsInRunOrder));
}

CostChanges changes(RunContext& ctx, HeldLines before, const WriteOrder& order) {
  CostChanges changed;
  std::vector<std::int64_t> ids;
  forEachLine(ctx, [&](DocumentKind kind, const Query& row) {
    const std::int64_t id = lineId(kind, row.asInteger(row.fieldIndex("ISN")));
    const HeldLine* was = findHeld(before, id);
    if (!was) return;  // not there at the start: the run does not make lines
    const HeldCost now = heldCost(row);
    if (now == was->cost) return;
    ids.push_back(id);
    changed.push_back(CostChange{kind, row.asDateTime(row.fieldIndex("DATUMS")), row.asInteger(row.fieldIndex("ISNODALA")),
                                 row.asInteger(row.fieldIndex("ISPRECE")), row.asString(row.fieldIndex("NOSAUKUMS")),
                                 row.asDouble(row.fieldIndex("DAUDZUMS")), row.asInteger(row.fieldIndex("ISN")),
                                 was->cost.cost, now.cost});
  });
  HeldLines().swap(before);
  const std::vector<std::int64_t> written = order.lastOf(ids);
  std::vector<std::uint32_t> place(changed.size());
  for (std::uint32_t i = 0; i < place.size(); ++i) place[i] = i;
  const auto key = [&](std::uint32_t i) {
    return std::make_tuple(written[i], runPlace(changed[i].kind), changed[i].date, changed[i].isn);
  };
  std::sort(place.begin(), place.end(), [&](std::uint32_t a, std::uint32_t b) { return key(a) < key(b); });
  // Into run order where they stand, a cycle at a time, so a year's changes are held once.
  for (std::uint32_t start = 0; start < place.size(); ++start) {
    if (place[start] == start) continue;
    CostChange held = std::move(changed[start]);
    std::uint32_t at = start;
    while (place[at] != start) {
      const std::uint32_t from = place[at];
      changed[at] = std::move(changed[from]);
      place[at] = at;
      at = from;
    }
    changed[at] = std::move(held);
    place[at] = at;
  }
  return changed;
}

}  // namespace

std::optional<CostChanges> previewRun(RunContext& ctx) {
  ctx.settings = ctx.settings.withRunModes();
  const StopScope scope;
  const HeldScope held(ctx);
  if (refuseBlockedPeriod(ctx)) return std::nullopt;
  const bool fifo = fifoCosting(ctx);
  if (!fifo && refuseLongAveragePeriod(ctx)) return std::nullopt;
  HeldLines before = readCosts(ctx);
  const WriteOrder order(ctx.db());
  if (fifo)
    FifoRun(ctx);
  else
    WeightedAverageRun(ctx);
  ctx.state.sqlDienDaudzums.clear();  // room for the changes
  ctx.state.sqlDienDaudzAtlikumi.clear();
  return changes(ctx, std::move(before), order);
}

}  // namespace talvix
