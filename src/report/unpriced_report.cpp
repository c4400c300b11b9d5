#include "report/unpriced_report.h"

#include "data/query.h"
#include "pricing/finite_price.h"
#include "report/line_selects.h"
#include "report/unpriced_csv.h"
#include "step/document_line.h"
#include "step/line_reset.h"
#include "step/price_decision.h"

#include <cstdio>
#include <memory>

namespace talvix {
namespace {

// The services filter keeps goods whose PAKALPOJ is NULL or this.
constexpr const char* kNotAService = "F";

// The line with what the report adds: the goods' name and whether it is a service.
struct Row : DocumentLine {
  std::string name;
  bool service;
};

struct RowFields {
  explicit RowFields(const Query& q)
      : line(q, "SALE_PRICE"), name(q.fieldIndex("NOSAUKUMS")), service(q.fieldIndex("PAKALPOJ")) {}
  Row read(const Query& q) const {
    return {line.read(q), q.asString(name), !q.isNull(service) && q.asString(service) != kNotAService};
  }
  DocumentLineFields line;
  int name, service;
};

std::string money(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2f", value);
  return buffer;
}

// A reason in the report's stable English and in Latvian for the window.
struct Reason {
  std::string english;
  std::string latvian;
};

Reason operator+(Reason first, const Reason& second) {
  return {first.english + second.english, first.latvian + second.latvian};
}

Reason notYet(double price) {
  return {"not priced yet: the next run gives it " + money(price),
          "vēl bez pašizmaksas: nākamā piešķiršana dos " + money(price)};
}

Reason noSerialReceipt(int serial) {
  return {"no receipt carries serial record " + std::to_string(serial),
          "nevienā ienākumā nav sērijas numura ieraksta " + std::to_string(serial)};
}

Reason unpricedSerialReceipt(int serial) {
  return {"the receipt carrying serial record " + std::to_string(serial) + " has no price",
          "ienākumam ar sērijas numura ierakstu " + std::to_string(serial) + " nav cenas"};
}

struct Answer {
  PriceRule rule;
  Reason reason;
};

// Renders each line's decision (price_decision.h): what it gives now and, when that is 0.0, the
// fact behind it.
class Explainer {
 public:
  Explainer(RunContext& ctx, bool fifo) : ctx_(ctx), method_(fifo ? StockMethod::Fifo : StockMethod::WeightedAverage) {}

  Answer explain(DocumentKind kind, const Row& row) {
    if (serviceLeftOut(kind, ctx_.settings, method_, row.service))
      return {PriceRule::NotProcessed,
              {"service, left out by the services option", "pakalpojums, izlaists ar \"Neapstrādāt pakalpojumus\""}};
    PriceDecider& decider = deciderOf(kind);
    if (kind == DocumentKind::Return) return explainReturn(decider, row);
    const PriceRule rule = decider.rule(row);
    // The FIFO cost's reason is the newest costed layer, not the price itself.
    if (rule == PriceRule::Fifo) return {rule, inflowReason(row, true)};
    const PriceDecision decision = decider.decide(row, rule);
    return {decision.rule, decision.price != 0.0 ? notYet(decision.price) : zeroReason(decision, row)};
  }

 private:
  PriceDecider& deciderOf(DocumentKind kind) {
    std::unique_ptr<PriceDecider>& decider = deciders_[kindIndex(kind)];
    if (!decider) decider = std::make_unique<PriceDecider>(ctx_, kind, method_);
    return *decider;
  }

  Reason zeroReason(const PriceDecision& decision, const Row& row) {
    const std::string day = reportDate(row.date);
    switch (decision.rule) {
      case PriceRule::FirstSalePrice: return {"goods has no first sale price", "precei nav pirmās pārdošanas cenas"};
      case PriceRule::Serial:
        return decision.facts.receipt.found ? unpricedSerialReceipt(row.serial) : noSerialReceipt(row.serial);
      case PriceRule::LastPurchasePrice:
        return {"no purchase with a price on or before " + day + " in any department",
                "nevienā nodaļā nav iepirkuma ar cenu līdz " + day + " ieskaitot"};
      case PriceRule::ClientSale: return clientSaleReason(decision.facts.clientSale.sale, day);
      case PriceRule::NotProcessed:
      case PriceRule::Fifo:
      case PriceRule::BalanceStage:
      case PriceRule::WeightedAverage: break;
    }
    return inflowReason(row, false);
  }

  static Reason clientSaleReason(const ClientSale& sale, const std::string& day) {
    if (sale.found) {
      const std::string line = std::to_string(sale.line);
      return {"the earlier sale to this client at this price (line " + line + ") has no cost yet",
              "agrākajai pārdošanai šim klientam par šo cenu (rinda " + line + ") vēl nav pašizmaksas"};
    }
    return {"no earlier sale to this client at this price, and no goods-balance cost before " + day,
            "nav agrākas pārdošanas šim klientam par šo cenu un nav preču atlikuma pašizmaksas pirms " + day};
  }

  // FIFO: the newest stock layer with a cost; the moving average: the newest costed inflow.
  Reason inflowReason(const Row& row, bool fifo) {
    const DateTime latest = ctx_.pricing.LastCostedInflowDay(row.goods, row.dept, row.date);
    const std::string day = reportDate(latest == 0 ? row.date : latest);
    if (latest == 0)
      return fifo ? Reason{"no stock layer with a cost on or before " + day + " in this department",
                           "šajā nodaļā līdz " + day + " ieskaitot nav krājuma slāņa ar pašizmaksu"}
                  : Reason{"no costed inflow on or before " + day + " in this department",
                           "šajā nodaļā līdz " + day + " ieskaitot nav ienākuma ar pašizmaksu"};
    return fifo ? Reason{"not priced yet: a stock layer with a cost from " + day + " stands",
                         "vēl bez pašizmaksas: ir krājuma slānis ar pašizmaksu no " + day}
                : Reason{"the moving average comes to 0.00 although costed inflows stand (the latest on " + day + ")",
                         "vidējā svērtā cena sanāk 0.00, lai gan ir ienākumi ar pašizmaksu (pēdējais " + day + ")"};
  }

  Answer explainReturn(PriceDecider& decider, const Row& row) {
    if (!returnPricedHere(row)) {
      const std::string origin = std::to_string(row.origin);
      return {PriceRule::NotProcessed,
              {"a return of origin " + origin + " is never priced here",
               "atgriešanai ar izcelsmi " + origin + " pašizmaksu šeit nepiešķir"}};
    }
    const ReturnCost cost = decider.decideReturn(row);
    const double price = finitePrice(cost.price);
    if (price != 0.0) return {cost.rule, notYet(price)};
    if (cost.rule == PriceRule::ClientSale)
      return {cost.rule,
              {"the earlier sale to this client at this price has no cost yet",
               "agrākajai pārdošanai šim klientam par šo cenu vēl nav pašizmaksas"}};
    return {cost.rule, returnReason(cost, row)};
  }

  Reason returnReason(const ReturnCost& cost, const Row& row) {
    const std::string day = reportDate(row.date);
    Reason why;
    if (!cost.clientHasSales) {
      why = {"no sale of the goods to this client on or before " + day,
             "šim klientam līdz " + day + " ieskaitot prece nav pārdota"};
    } else if (serialRuleApplies(ctx_.settings, row.serial, row.quantity)) {
      why = cost.serialReceiptFound ? unpricedSerialReceipt(row.serial) : noSerialReceipt(row.serial);
    } else {
      why = {"no earlier sale to this client at this price", "nav agrākas pārdošanas šim klientam par šo cenu"};
    }
    return why + Reason{", and no goods-balance cost or purchase price before " + day,
                        ", un nav ne preču atlikuma pašizmaksas, ne iepirkuma cenas pirms " + day};
  }

  RunContext& ctx_;
  const StockMethod method_;
  PerKind<std::unique_ptr<PriceDecider>> deciders_;
};

}  // namespace

std::vector<UnpricedLine> listUnpricedLines(RunContext& ctx, bool fifo) {
  // A run starts from what other users have committed by now; so does the report.
  const std::unique_ptr<TMylaiks> fresh = ctx.pricing.newMylaiks();
  Explainer explainer(ctx, fifo);
  std::vector<UnpricedLine> result;
  for (const DocumentKind kind : kKindsInRunOrder) {
    if (ctx.settings.mode(kind) == kSkip) continue;
    // No services filter: a service the run leaves out is listed as not processed.
    Query lines(ctx.db());
    lines.setSql(unpricedLinesSql(kind));
    bindPeriod(lines, ctx.settings);
    lines.open();
    const RowFields fields(lines);
    for (lines.first(); !lines.eof(); lines.next()) {
      const Row row = fields.read(lines);
      Answer answer = explainer.explain(kind, row);
      result.push_back({kind, row.date, row.dept, row.goods, row.name, row.quantity, row.isn, answer.rule,
                        std::move(answer.reason.english), std::move(answer.reason.latvian)});
    }
  }
  return result;
}

}  // namespace talvix
