#include "report/line_explain.h"

#include "data/query.h"
#include "fifo/day_quantities.h"
#include "pricing/finite_price.h"
#include "report/line_selects.h"
#include "report/unpriced_csv.h"
#include "step/document_line.h"
#include "step/price_decision.h"

#include <memory>

namespace talvix {
namespace {

constexpr const char* kNotAService = "F";
constexpr std::size_t kMostMovements = 50;

struct Line {
  DocumentLine line;
  bool costNull;
  double cost;
  std::string name;
  bool service;
};

// The line's figures and the text that tells them.
struct Priced {
  PriceRule rule;
  double price;
  std::string trail;
};

std::string n(double value) { return csvNumber(value); }

// The library names each movement as the kinds' rows tell it; the outflows are the rows' outflows.
bool isInflow(const StockLayer& movement) {
  for (const DocumentKindRow& row : kDocumentKinds)
    if (row.stock.out.told && movement.kind == row.stock.out.told) return false;
  return true;
}

class Explainer {
 public:
  Explainer(RunContext& ctx, bool fifo, DocumentKind kind)
      : ctx_(ctx),
        method_(fifo ? StockMethod::Fifo : StockMethod::WeightedAverage),
        kind_(kind),
        decider_(ctx, kind, method_) {}

  Line read(int isn) {
    Query q(ctx_.db());
    q.setSql(lineByKeySql(kind_));
    q.setInteger("ISN", isn);
    q.open();
    if (q.eof()) throw UnknownLine("no " + kindName(kind_) + " line has the key " + std::to_string(isn));
    const DocumentLineFields fields(q, tablesOf(kind_).salePrice);
    const int service = q.fieldIndex("PAKALPOJ");
    return {fields.read(q), q.isNull("COST"), q.asDouble("COST"), q.asString("NOSAUKUMS"),
            !q.isNull(service) && q.asString(service) != kNotAService};
  }

  Priced price(const Line& row) {
    const DocumentLine& l = row.line;
    if (serviceLeftOut(kind_, ctx_.settings, method_, row.service))
      return {PriceRule::NotProcessed, row.cost, "  A service: the services option leaves it out.\n"};
    if (kind_ == DocumentKind::Return) return returnLine(l);
    const PriceDecision d = decider_.decide(l);
    switch (d.rule) {
      case PriceRule::Serial: return serial(l, d);
      case PriceRule::FirstSalePrice:
        return {d.rule, d.price,
                "  The goods' first sale price without its tax (" + n(l.tax) + "): " + n(d.price) + ".\n"};
      case PriceRule::LastPurchasePrice: return lastPurchase(l, d);
      case PriceRule::ClientSale: return clientSale(l, d);
      case PriceRule::WeightedAverage: return average(l, d);
      case PriceRule::NotProcessed:
      case PriceRule::Fifo:
      case PriceRule::BalanceStage: break;
    }
    return fifoLine(l, d);
  }

 private:
  Priced serial(const DocumentLine& l, const PriceDecision& d) {
    const std::string record = "serial record " + std::to_string(l.serial);
    return {d.rule, d.price,
            d.facts.receipt.found ? "  The receipt line carrying " + record + ": price " + n(d.price) + ".\n"
                                  : "  No receipt line carries " + record + ".\n"};
  }

  static Priced lastPurchase(const DocumentLine& l, const PriceDecision& d) {
    return {d.rule, d.price,
            d.price == 0.0 ? "  No receipt with a price on or before " + reportDate(l.date) + " in any department.\n"
                           : "  The latest receipt price on or before " + reportDate(l.date) +
                                 " in any department: " + n(d.price) + ".\n"};
  }

  Priced clientSale(const DocumentLine& l, const PriceDecision& d) {
    const std::string sold =
        "client " + std::to_string(l.client) + " at the sale price " + n(salePrice(l.price, l.markup));
    const ClientSale& sale = d.facts.clientSale.sale;
    if (sale.found)
      return {d.rule, d.price,
              "  The earliest sale to " + sold + ": issue line " + std::to_string(sale.line) + " of " +
                  reportDate(issueDate(sale.line)) + ", cost " + n(d.price) + ".\n"};
    return {d.rule, d.price,
            "  No earlier sale to " + sold + "; " +
                (d.price == 0.0
                     ? "no goods-balance cost before " + reportDate(l.date) + " either.\n"
                     : "the latest goods-balance cost before " + reportDate(l.date) + ": " + n(d.price) + ".\n")};
  }

  Priced returnLine(const DocumentLine& l) {
    if (!returnPricedHere(l))
      return {PriceRule::NotProcessed, 0.0,
              "  A return of origin " + std::to_string(l.origin) + " is never priced here.\n"};
    const ReturnCost cost = decider_.decideReturn(l);
    const double price = finitePrice(cost.price);
    std::string trail = "  Client " + std::to_string(l.client) + (cost.clientHasSales ? " bought" : " never bought") +
                        " the goods on or before " + reportDate(l.date) + ".\n";
    if (cost.rule == PriceRule::BalanceStage)
      trail += "  No receipt or sale answered: the latest goods-balance cost, else the latest receipt price, before " +
               reportDate(l.date) + ": " + n(price) + ".\n";
    else
      trail += "  The " + ruleName(cost.rule) + " answered " + n(price) + ".\n";
    return {cost.rule, price, trail};
  }

  // The layers the decision's price drew on, asked with the same stock and day's outflow.
  Priced fifoLine(const DocumentLine& l, const PriceDecision& d) {
    const double day = d.facts.dayQuantity;
    const FifoTrail trail = ctx_.pricing.FifoLayersTaken(l.goods, l.dept, l.date, d.facts.stock, l.quantity, day);
    const std::string where = "department " + std::to_string(l.dept);
    if (!trail.anyLayer)
      return {PriceRule::Fifo, d.price,
              "  No inflow with a quantity and a cost on or before " + reportDate(l.date) + " in " + where + ".\n"};
    std::string text = "  Stock before the day's outflows: " + n(trail.stock) + "\n";
    text += "  Outflow priced together: " + n(trail.outflow) +
            (day > 0 ? " (the day's whole outflow of the goods from " + where + "; this line " + n(l.quantity) + ")\n"
                     : " (this line)\n");
    if (trail.outflow <= 0) return {PriceRule::Fifo, d.price, text + "  Nothing to share: the newest layer's cost.\n"};
    return {PriceRule::Fifo, d.price, text + layersText(trail, where)};
  }

  static std::string layersText(const FifoTrail& trail, const std::string& where) {
    std::string text = "  Layers taken, newest first:\n";
    double weighted = 0.0;
    for (const FifoTrail::Taken& t : trail.taken) {
      weighted += t.layer.cost * (t.units / trail.outflow);
      text += "    " + t.layer.kind + " " + reportDate(t.layer.day) + ", " + where + ", line " +
              std::to_string(t.layer.isn) + ": took " + n(t.units) + " of " + n(t.layer.quantity) + " at " +
              n(t.layer.cost) + ", weighted " + n(weighted) + "\n";
    }
    if (trail.beyondLayers > 0)
      text += "  " + n(trail.beyondLayers) +
              " units more than the layers hold are taken at the oldest layer's cost (counted in its line).\n";
    return text;
  }

  Priced average(const DocumentLine& l, const PriceDecision& d) {
    const std::vector<AverageStep> steps = ctx_.pricing.AverageReplay(l.goods, l.dept, l.date);
    // An inflow into a stock at or below zero starts the average afresh: nothing before it counts.
    std::size_t start = 0;
    for (std::size_t i = 1; i < steps.size(); ++i)
      if (steps[i - 1].stockAfter <= 0 && isInflow(steps[i].movement)) start = i;
    const std::size_t since = steps.size() - start;
    std::string text = "  Movements of goods " + std::to_string(l.goods) + " in department " + std::to_string(l.dept) +
                       " on or before " + reportDate(l.date) +
                       ", day by day, inflows first, since the stock last stood at or below zero before an inflow: " +
                       std::to_string(since);
    if (since > kMostMovements) {
      text += " (the last " + std::to_string(kMostMovements) + " shown, " + std::to_string(since - kMostMovements) +
              " earlier)";
      start = steps.size() - kMostMovements;
    }
    text += "\n";
    for (std::size_t i = start; i < steps.size(); ++i) {
      const AverageStep& step = steps[i];
      const bool in = isInflow(step.movement);
      text += "    " + step.movement.kind + " " + reportDate(step.movement.day) + ", line " +
              std::to_string(step.movement.isn) + ": " + (in ? "+" : "-") + n(step.movement.quantity) +
              (in ? " at " + n(step.movement.cost) : "") + ", stock " + n(step.stockAfter) + ", average " +
              n(step.averageAfter) + "\n";
    }
    if (steps.empty()) text += "    (no costed inflow and no outflow)\n";
    return {PriceRule::WeightedAverage, d.price, text};
  }

  DateTime issueDate(int isn) {
    Query q(ctx_.db());
    q.setSql(lineDateSql(DocumentKind::Issue));
    q.setInteger("ISN", isn);
    q.open();
    return q.eof() ? 0 : q.asDateTime(0);
  }

  RunContext& ctx_;
  StockMethod method_;
  DocumentKind kind_;
  PriceDecider decider_;
};

std::string header(DocumentKind kind, const Line& row) {
  const DocumentLine& l = row.line;
  return kindName(kind) + " line " + std::to_string(l.isn) + ": " + reportDate(l.date) + ", department " +
         std::to_string(l.dept) + ", goods " + std::to_string(l.goods) + " \"" + row.name + "\", quantity " +
         n(l.quantity) + ", holds " + (row.costNull ? "no cost (NULL)" : n(row.cost)) + "\n";
}

}  // namespace

std::string explainLine(RunContext& ctx, bool fifo, DocumentKind kind, int isn) {
  // A run starts from what other users have committed by now; so does the explanation.
  const std::unique_ptr<TMylaiks> fresh = ctx.pricing.newMylaiks();
  ctx.state.endPassSnapshot();
  Explainer explainer(ctx, fifo, kind);
  const Line row = explainer.read(isn);
  // The day quantities of the line's day only, as the pass would have them (a time of day included).
  ctx.settings.dateFrom = row.line.date;
  ctx.settings.dateTo = row.line.date + 1;
  ctx.state.ServicesFilter = ctx.settings.skipServices ? kServicesFilterText : "";
  LoadDayQuantities(ctx);
  struct Cleared {
    SessionState& state;
    ~Cleared() {
      state.sqlDienDaudzums.clear();
      state.sqlDienDaudzAtlikumi.clear();
    }
  } cleared{ctx.state};
  const Priced priced = explainer.price(row);
  std::string text = header(kind, row);
  text += std::string("Method: ") + (fifo ? "FIFO" : "weighted average") + ", mode " +
          std::to_string(ctx.settings.mode(kind)) + "; rule: " + ruleName(priced.rule) + "\n";
  text += priced.trail;
  if (priced.rule == PriceRule::NotProcessed)
    return text + "Would write nothing; holds " + (row.costNull ? "no cost (NULL)" : n(row.cost)) + "\n";
  return text + "Would write " + n(priced.price) + "; holds " + (row.costNull ? "no cost (NULL)" : n(row.cost)) +
         (priced.price == row.cost && !row.costNull ? " (no change)" : "") + "\n";
}

}  // namespace talvix
