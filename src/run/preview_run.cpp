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
#include <functional>
#include <string>
#include <tuple>
#include <unordered_map>

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

// The cost of every line of the period, keyed by lineId.
std::unordered_map<std::int64_t, HeldCost> readCosts(RunContext& ctx) {
  std::unordered_map<std::int64_t, HeldCost> held;
  forEachLine(ctx, [&](DocumentKind kind, const Query& row) {
    held.emplace(lineId(kind, row.asInteger(row.fieldIndex("ISN"))), heldCost(row));
  });
  return held;
}

// The order of the run's last write to each line, heard on the connection.
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

  // 0 for a line the run never wrote by its key (a reset of many lines at once comes first).
  std::int64_t of(std::int64_t id) const {
    const auto at = last_.find(id);
    return at == last_.end() ? 0 : at->second;
  }

 private:
  void heard(const Query& query) {
    if (!query.hasParameter(kLineKey)) return;
    for (const DocumentKind kind : kAllKinds) {
      const std::string prefix = kUpdatePrefix + std::string(tablesOf(kind).lines) + " ";
      if (query.sql().compare(0, prefix.size(), prefix) != 0) continue;
      last_[lineId(kind, static_cast<int>(query.paramDouble(kLineKey)))] = ++count_;
      return;
    }
  }

  Connection& connection_;
  int id_ = 0;
  std::int64_t count_ = 0;
  std::unordered_map<std::int64_t, std::int64_t> last_;
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

std::vector<CostChange> changes(RunContext& ctx, const std::unordered_map<std::int64_t, HeldCost>& before,
                                const WriteOrder& order) {
  struct Placed {
    std::int64_t write;
    CostChange change;
  };
  std::vector<Placed> placed;
  forEachLine(ctx, [&](DocumentKind kind, const Query& row) {
    const std::int64_t id = lineId(kind, row.asInteger(row.fieldIndex("ISN")));
    const auto was = before.find(id);
    if (was == before.end()) return;  // not there at the start: the run does not make lines
    const HeldCost now = heldCost(row);
    if (now == was->second) return;
    placed.push_back({order.of(id),
                      CostChange{kind, row.asDateTime(row.fieldIndex("DATUMS")), row.asInteger(row.fieldIndex("ISNODALA")),
                                 row.asInteger(row.fieldIndex("ISPRECE")), row.asString(row.fieldIndex("NOSAUKUMS")),
                                 row.asDouble(row.fieldIndex("DAUDZUMS")), row.asInteger(row.fieldIndex("ISN")),
                                 was->second.cost, now.cost}});
  });
  std::sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
    const auto key = [](const Placed& p) {
      return std::make_tuple(p.write, runPlace(p.change.kind), p.change.date, p.change.isn);
    };
    return key(a) < key(b);
  });
  std::vector<CostChange> result;
  result.reserve(placed.size());
  for (Placed& p : placed) result.push_back(std::move(p.change));
  return result;
}

}  // namespace

std::optional<std::vector<CostChange>> previewRun(RunContext& ctx) {
  ctx.settings = ctx.settings.withRunModes();
  const StopScope scope;
  const HeldScope held(ctx);
  if (refuseBlockedPeriod(ctx)) return std::nullopt;
  const bool fifo = fifoCosting(ctx);
  if (!fifo && refuseLongAveragePeriod(ctx)) return std::nullopt;
  const auto before = readCosts(ctx);
  const WriteOrder order(ctx.db());
  if (fifo)
    FifoRun(ctx);
  else
    WeightedAverageRun(ctx);
  return changes(ctx, before, order);
}

}  // namespace talvix
