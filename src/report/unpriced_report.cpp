#include "report/unpriced_report.h"

#include "average/average_rules.h"
#include "data/query.h"
#include "fifo/fifo_rules.h"
#include "fifo/returns.h"
#include "pricing/finite_price.h"
#include "report/line_selects.h"
#include "report/unpriced_csv.h"
#include "step/document_line.h"
#include "step/line_reset.h"
#include "step/price_lookups.h"

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

// Asks each line's rule what it gives now and, when that is 0.0, for the fact behind it.
class Explainer {
 public:
  Explainer(RunContext& ctx, bool fifo) : ctx_(ctx), fifo_(fifo), lookup_(ctx.db()) {}

  Answer explain(DocumentKind kind, const Row& row) {
    const RunSettings& s = ctx_.settings;
    if (row.service && s.skipServices && (fifo_ || averageStepFiltersServices(kind, s)))
      return {PriceRule::NotProcessed,
              {"service, left out by the services option", "pakalpojums, izlaists ar \"Neapstrādāt pakalpojumus\""}};
    if (kind == DocumentKind::Return) return explainReturn(row);
    if (!fifo_) return explainAverage(kind, row);
    return byRule(kFifoRuleOfKind[static_cast<int>(kind)](s, row.serial, row.quantity), row);
  }

 private:
  Answer byRule(PriceRule rule, const Row& row) {
    switch (rule) {
      case PriceRule::FirstSalePrice: {
        const double price = finitePrice(firstSalePriceWithoutTax(ctx_, row.goods, row.tax));
        return {rule, price == 0.0 ? Reason{"goods has no first sale price", "precei nav pirmās pārdošanas cenas"}
                                   : notYet(price)};
      }
      case PriceRule::Serial: return {rule, serialReason(row)};
      case PriceRule::LastPurchasePrice: return {rule, lastPurchaseReason(row)};
      case PriceRule::ClientSale: return {rule, clientSaleReason(row)};
      default: return {PriceRule::Fifo, fifoReason(row)};
    }
  }

  Reason serialReason(const Row& row) {
    const SerialReceipt receipt = findSerialReceipt(lookup_, row.goods, row.serial);
    if (!receipt.found) return noSerialReceipt(row.serial);
    const double price = finitePrice(receipt.price);
    return price == 0.0 ? unpricedSerialReceipt(row.serial) : notYet(price);
  }

  Reason lastPurchaseReason(const Row& row) {
    const double price = finitePrice(ctx_.pricing.GetPedIepCena(row.goods, row.dept, 0, row.date));
    if (price != 0.0) return notYet(price);
    const std::string day = reportDate(row.date);
    return {"no purchase with a price on or before " + day + " in any department",
            "nevienā nodaļā nav iepirkuma ar cenu līdz " + day + " ieskaitot"};
  }

  Reason clientSaleReason(const Row& row) {
    const ClientSale sale =
        findClientSale(lookup_, row.goods, row.client, row.date, salePrice(row.price, row.markup), row.isn);
    const double cost = finitePrice(sale.found ? sale.cost : latestBalanceCost(lookup_, row.goods, row.date));
    if (cost != 0.0) return notYet(cost);
    if (sale.found) {
      const std::string line = std::to_string(sale.line);
      return {"the earlier sale to this client at this price (line " + line + ") has no cost yet",
              "agrākajai pārdošanai šim klientam par šo cenu (rinda " + line + ") vēl nav pašizmaksas"};
    }
    const std::string day = reportDate(row.date);
    return {"no earlier sale to this client at this price, and no goods-balance cost before " + day,
            "nav agrākas pārdošanas šim klientam par šo cenu un nav preču atlikuma pašizmaksas pirms " + day};
  }

  Reason fifoReason(const Row& row) {
    const DateTime layer = ctx_.pricing.LastCostedInflowDay(row.goods, row.dept, row.date);
    if (layer == 0) {
      const std::string day = reportDate(row.date);
      return {"no stock layer with a cost on or before " + day + " in this department",
              "šajā nodaļā līdz " + day + " ieskaitot nav krājuma slāņa ar pašizmaksu"};
    }
    return {"not priced yet: a stock layer with a cost from " + reportDate(layer) + " stands",
            "vēl bez pašizmaksas: ir krājuma slānis ar pašizmaksu no " + reportDate(layer)};
  }

  Answer explainAverage(DocumentKind kind, const Row& row) {
    const RunSettings& s = ctx_.settings;
    const PriceRule rule = averageRule(s);
    if (rule == PriceRule::LastPurchasePrice) return {rule, lastPurchaseReason(row)};
    const AverageFlags flags = averageFlags(kind, s);
    const double price =
        finitePrice(ctx_.average().GetVidSvPasizmaksa(row.goods, row.dept, row.date, flags.transfer, flags.singleKind));
    if (price != 0.0) return {rule, notYet(price)};
    const DateTime inflow = ctx_.pricing.LastCostedInflowDay(row.goods, row.dept, row.date);
    if (inflow == 0) {
      const std::string day = reportDate(row.date);
      return {rule, {"no costed inflow on or before " + day + " in this department",
                     "šajā nodaļā līdz " + day + " ieskaitot nav ienākuma ar pašizmaksu"}};
    }
    const std::string latest = reportDate(inflow);
    return {rule, {"the moving average comes to 0.00 although costed inflows stand (the latest on " + latest + ")",
                   "vidējā svērtā cena sanāk 0.00, lai gan ir ienākumi ar pašizmaksu (pēdējais " + latest + ")"}};
  }

  Answer explainReturn(const Row& row) {
    if (!returnPricedHere(row)) {
      const std::string origin = std::to_string(row.origin);
      return {PriceRule::NotProcessed, {"a return of origin " + origin + " is never priced here",
                                        "atgriešanai ar izcelsmi " + origin + " pašizmaksu šeit nepiešķir"}};
    }
    const ReturnCost cost = FindReturnCost(ctx_, lookup_, row);
    const double price = finitePrice(cost.price);
    if (price != 0.0) return {cost.rule, notYet(price)};
    if (cost.rule == PriceRule::ClientSale)
      return {cost.rule, {"the earlier sale to this client at this price has no cost yet",
                          "agrākajai pārdošanai šim klientam par šo cenu vēl nav pašizmaksas"}};
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
    return {cost.rule, why + Reason{", and no goods-balance cost or purchase price before " + day,
                                    ", un nav ne preču atlikuma pašizmaksas, ne iepirkuma cenas pirms " + day}};
  }

  RunContext& ctx_;
  const bool fifo_;
  Query lookup_;
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
