#include "run/run_tally.h"

#include "data/query.h"
#include "step/line_reset.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_map>
#include <utility>
#include <vector>

namespace talvix {
namespace {

constexpr const char* kUpdatePrefix = "UPDATE ";
constexpr const char* kLineKey = "ISN";
constexpr const char* kJointCostParam = "CENA";  // the weighted average's joint step names it so
constexpr std::size_t kKeysPerSelect = 100;

constexpr const char* kChanged = "Mainītas pašizmaksas: ";
constexpr const char* kMoney = ", vērtības izmaiņa ";
constexpr const char* kStillWithout = "; bez pašizmaksas vēl ";

// "FROM <lines> L JOIN <header> H ... JOIN N_KLPREC ... WHERE <the period>", as the preview and the
// report of lines without cost read a kind's lines.
std::string periodLines(const DocumentTables& t) {
  return std::string(" FROM ") + t.lines + " L JOIN " + t.header + " H ON H.ISN = L." + t.headerKey +
         " JOIN N_KLPREC ON N_KLPREC.ISN = L.ISPRECE WHERE H." + t.date + " BETWEEN :DAT_NO AND :DAT_LIDZ";
}

std::string costsSql(const DocumentTables& t) {
  return std::string("SELECT L.ISN, L.DAUDZUMS, L.") + t.cost + " COST" + periodLines(t);
}

std::string withoutCostSql(const DocumentTables& t) {
  return "SELECT COUNT(*) N" + periodLines(t) + " AND (L." + t.cost + " = 0.00 OR L." + t.cost + " IS NULL)";
}

// One statement prepared once for every batch of keys: the engine keeps the memory each new
// statement's text took, so batches written out as literals grew a long run's peak by tens of MB.
std::string quantitiesSql(const DocumentTables& t) {
  std::string sql = std::string("SELECT ISN, DAUDZUMS FROM ") + t.lines + " WHERE ISN IN (";
  for (std::size_t i = 0; i < kKeysPerSelect; ++i) sql += (i ? ", :K" : ":K") + std::to_string(i);
  return sql + ")";
}

bool processed(const RunContext& ctx, DocumentKind kind) { return ctx.settings.mode(kind) != kSkip; }

// The kind whose lines' cost an UPDATE writes by key; nullptr for any other statement.
const DocumentTables* costWriteOf(const Query& query) {
  if (!query.hasParameter(kLineKey)) return nullptr;
  for (const DocumentKindRow& row : kDocumentKinds) {
    const std::string prefix = kUpdatePrefix + std::string(row.tables.lines) + " ";
    if (query.sql().compare(0, prefix.size(), prefix) == 0) return &row.tables;
  }
  return nullptr;
}

struct Held {
  std::int32_t isn;
  double cost;
  bool isNull;
};

std::string grouped(long long whole) {
  std::string digits = std::to_string(whole);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<std::size_t>(at), " ");
  return digits;
}

// +42 560,10: a sign always, blanks between thousands, a decimal comma.
std::string latvianMoney(double value) {
  const double cents = std::round(std::fabs(value) * 100.0);
  const long long whole = static_cast<long long>(cents / 100.0);
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, "%02lld", static_cast<long long>(cents) % 100);
  return std::string(value < 0 && cents > 0 ? "-" : "+") + grouped(whole) + "," + fraction;
}

std::string lines(std::int64_t count) {
  return std::to_string(count) + (count % 10 == 1 && count % 100 != 11 ? " rinda" : " rindas");
}

}  // namespace

struct RunTally::State {
  RunContext& ctx;
  bool continuous;
  bool active;
  int observer = 0;
  PerKind<std::vector<Held>> before;  // by key
  PerKind<std::unordered_map<std::int32_t, double>> written;

  State(RunContext& context, bool isContinuous) : ctx(context), continuous(isContinuous), active(!context.preview) {}

  void readBefore() {
    for (const DocumentKindRow& row : kDocumentKinds) {
      if (!processed(ctx, row.kind)) continue;
      Query select(ctx.db());
      select.setSql(costsSql(row.tables));
      bindPeriod(select, ctx.settings);
      select.openStream();
      std::vector<Held>& held = before[kindIndex(row.kind)];
      const int isn = select.fieldIndex("ISN"), cost = select.fieldIndex("COST");
      while (select.fetch()) held.push_back({select.asInteger(isn), select.asDouble(cost), select.isNull(cost)});
      std::sort(held.begin(), held.end(), [](const Held& a, const Held& b) { return a.isn < b.isn; });
    }
  }

  void heard(const Query& query) {
    if (!query.onDefaultTransaction()) return;
    const DocumentTables* tables = costWriteOf(query);
    if (!tables) return;
    const char* param = query.hasParameter(tables->cost) ? tables->cost : kJointCostParam;
    written[kindIndex(tables->kind)][static_cast<std::int32_t>(query.paramDouble(kLineKey))] = query.paramDouble(param);
  }

  std::int64_t withoutCost() {
    std::int64_t count = 0;
    for (const DocumentKindRow& row : kDocumentKinds) {
      if (!processed(ctx, row.kind)) continue;
      Query select(ctx.db());
      select.setSql(withoutCostSql(row.tables));
      bindPeriod(select, ctx.settings);
      select.open();
      count += select.asInteger("N");
    }
    return count;
  }

  // Each write replaced 0.00 or none; the quantities are read for the written lines only.
  std::optional<RunSummary> writtenSummary() {
    RunSummary summary;
    for (const DocumentKindRow& row : kDocumentKinds) {
      const auto& costs = written[kindIndex(row.kind)];
      std::vector<std::int32_t> keys;
      for (const auto& [isn, cost] : costs) keys.push_back(isn);
      summary.changed += static_cast<std::int64_t>(keys.size());
      Query select(ctx.db());
      select.setSql(quantitiesSql(row.tables));
      for (std::size_t from = 0; from < keys.size(); from += kKeysPerSelect) {
        // A short last batch asks for its first key again in the spare places.
        for (std::size_t i = 0; i < kKeysPerSelect; ++i)
          select.setInteger("K" + std::to_string(i), keys[from + i < keys.size() ? from + i : from]);
        select.open();
        for (select.first(); !select.eof(); select.next())
          summary.money += select.asDouble("DAUDZUMS") * costs.at(select.asInteger("ISN"));
      }
    }
    if (summary.changed == 0) return std::nullopt;
    summary.stillWithoutCost = withoutCost();
    return summary;
  }

  // As the preview compares: a line whose cost or NULL-ness differs from before changed.
  RunSummary comparedSummary() {
    RunSummary summary;
    for (const DocumentKindRow& row : kDocumentKinds) {
      if (!processed(ctx, row.kind)) continue;
      const std::vector<Held>& held = before[kindIndex(row.kind)];
      Query select(ctx.db());
      select.setSql(costsSql(row.tables));
      bindPeriod(select, ctx.settings);
      select.openStream();
      const int isn = select.fieldIndex("ISN"), cost = select.fieldIndex("COST"), qty = select.fieldIndex("DAUDZUMS");
      while (select.fetch()) {
        const double now = select.asDouble(cost);
        const bool isNull = select.isNull(cost);
        if (isNull || now == 0.0) ++summary.stillWithoutCost;
        const std::int32_t key = select.asInteger(isn);
        const auto was =
            std::lower_bound(held.begin(), held.end(), key, [](const Held& h, std::int32_t k) { return h.isn < k; });
        if (was == held.end() || was->isn != key || (was->cost == now && was->isNull == isNull)) continue;
        ++summary.changed;
        summary.money += select.asDouble(qty) * (now - was->cost);
      }
    }
    return summary;
  }
};

RunTally::RunTally(RunContext& ctx, bool continuous) : state_(std::make_unique<State>(ctx, continuous)) {
  if (!state_->active) return;
  if (!continuous) {
    state_->readBefore();
    return;
  }
  State* state = state_.get();
  state_->observer = ctx.db().addDataObserver([state](DataEvent event, const Query* query) {
    if (event == DataEvent::Written && query) state->heard(*query);
  });
}

RunTally::~RunTally() {
  if (state_->observer) state_->ctx.db().removeDataObserver(state_->observer);
}

std::optional<RunSummary> RunTally::summary() {
  if (!state_->active) return std::nullopt;
  if (state_->continuous) return state_->writtenSummary();
  return state_->comparedSummary();
}

std::string summaryLine(const RunSummary& summary) {
  return kChanged + lines(summary.changed) + kMoney + latvianMoney(summary.money) + kStillWithout +
         lines(summary.stillWithoutCost);
}

std::string briefSummary(const RunSummary& summary) {
  return lines(summary.changed) + ", " + latvianMoney(summary.money);
}

void closeWithSummary(RunContext& ctx, RunTally& tally) {
  const std::optional<RunSummary> summary = tally.summary();
  if (!summary) return;
  const std::string line = summaryLine(*summary);
  ctx.log.AddProcessLine(line, false);
  if (ctx.host) ctx.host->runSummed(line, briefSummary(*summary));
}

}  // namespace talvix
