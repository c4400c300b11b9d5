#include "step/price_decision.h"

#include "ledger/day_quantity_table.h"
#include "ledger/stock_quantity.h"
#include "pricing/finite_price.h"

namespace talvix {
namespace {

constexpr int kLastPlainSerial = 10;  // serial records 0 to 10 never ask for the receipt price

bool holds(PriceRule source, const RunSettings& settings, int serial, double quantity) {
  switch (source) {
    case PriceRule::Serial: return serialRuleApplies(settings, serial, quantity);
    case PriceRule::FirstSalePrice: return settings.firstSalePrice;
    case PriceRule::LastPurchasePrice: return settings.lastPurchasePrice;
    case PriceRule::ClientSale: return quantity < 0.0;
    case PriceRule::Fifo: return true;
    case PriceRule::NotProcessed:
    case PriceRule::BalanceStage:
    case PriceRule::WeightedAverage: break;
  }
  return false;
}

// The unit's receipt or an earlier sale to the client at the same price; cost.rule stays
// BalanceStage when neither gives one.
bool fromClientSale(RunContext& ctx, Query& lookup, const DocumentLine& line, ReturnCost& cost) {
  const ClientSaleAnswer answer = askClientSale(ctx, lookup,
                                                {.order = ClientSales::DatabaseOrder,
                                                 .goods = line.goods,
                                                 .client = line.client,
                                                 .date = line.date,
                                                 .wanted = salePrice(line.price, line.markup)});
  if (!answer.anySale) return false;
  cost.clientHasSales = true;
  if (serialRuleApplies(ctx.settings, line.serial, line.quantity)) {
    const SerialReceipt receipt = findSerialReceipt(lookup, line.goods, line.serial);
    cost.serialReceiptFound = receipt.found;
    if (!(receipt.price > 0.0)) return false;
    cost.rule = PriceRule::Serial;
    cost.price = receipt.price;
    return true;
  }
  if (!answer.sale.found) return false;
  cost.rule = PriceRule::ClientSale;
  cost.price = answer.sale.cost;
  return true;
}

}  // namespace

bool serialRuleApplies(const RunSettings& settings, int serial, double quantity) {
  return settings.serialLookup && serial > kLastPlainSerial && quantity == 1.0;
}

PriceRule fifoRule(DocumentKind kind, const RunSettings& settings, int serial, double quantity) {
  for (const PriceRule source : kindRow(kind).fifoPricing.order) {
    if (source == PriceRule::NotProcessed) break;
    if (holds(source, settings, serial, quantity)) return source;
  }
  return PriceRule::NotProcessed;
}

bool returnPricedHere(const DocumentLine& line) { return line.origin != kUntouchedOrigin; }

ReturnCost FindReturnCost(RunContext& ctx, Query& lookup, const DocumentLine& line) {
  ReturnCost cost;
  if (fromClientSale(ctx, lookup, line, cost)) return cost;
  cost.price = latestBalanceCost(lookup, line.goods, line.date, ctx.writtenCosts());
  if (cost.price == 0.0) cost.price = latestReceiptPrice(lookup, line.goods, line.date);
  return cost;
}

PriceDecider::PriceDecider(RunContext& ctx, DocumentKind kind, StockMethod method)
    : ctx_(ctx), kind_(kind), method_(method), lookup_(ctx.db()) {
  lookup_.setTransaction(ctx.documents());
}

PriceRule PriceDecider::rule(const DocumentLine& line) const {
  if (method_ == StockMethod::WeightedAverage) return averageRule(ctx_.settings);
  return fifoRule(kind_, ctx_.settings, line.serial, line.quantity);
}

PriceDecision PriceDecider::decide(const DocumentLine& line) {
  if (kind_ == DocumentKind::Return) {
    const ReturnCost cost = decideReturn(line);
    return {cost.rule, finitePrice(cost.price), {}};
  }
  if (method_ == StockMethod::WeightedAverage) return decideAverage(line, averageFlags(kind_, ctx_.settings));
  return decide(line, rule(line));
}

PriceDecision PriceDecider::decide(const DocumentLine& l, PriceRule rule) {
  switch (rule) {
    case PriceRule::Serial: {
      PriceDecision d{rule, 0.0, {}};
      d.facts.receipt = findSerialReceipt(lookup_, l.goods, l.serial);
      d.price = finitePrice(d.facts.receipt.price);
      return d;
    }
    case PriceRule::FirstSalePrice: return {rule, finitePrice(firstSalePriceWithoutTax(ctx_, l.goods, l.tax)), {}};
    case PriceRule::LastPurchasePrice:
      return {rule, finitePrice(ctx_.pricing.GetPedIepCena(l.goods, l.dept, 0, l.date)), {}};
    case PriceRule::ClientSale: return clientSale(l);
    case PriceRule::WeightedAverage: return decideAverage(l, averageFlags(kind_, ctx_.settings));
    case PriceRule::NotProcessed:
    case PriceRule::Fifo:
    case PriceRule::BalanceStage: break;
  }
  return fifo(l);
}

PriceDecision PriceDecider::decideAverage(const DocumentLine& l, AverageFlags flags) {
  if (averageRule(ctx_.settings) == PriceRule::LastPurchasePrice) return decide(l, PriceRule::LastPurchasePrice);
  PriceDecision d{PriceRule::WeightedAverage, 0.0, {}};
  d.facts.average = flags;
  d.price = finitePrice(ctx_.average().GetVidSvPasizmaksa(l.goods, l.dept, l.date, flags.transfer, flags.singleKind));
  return d;
}

ReturnCost PriceDecider::decideReturn(const DocumentLine& line) { return FindReturnCost(ctx_, lookup_, line); }

// Without a sale at the price, the latest goods-balance cost.
PriceDecision PriceDecider::clientSale(const DocumentLine& l) {
  PriceDecision d{PriceRule::ClientSale, 0.0, {}};
  d.facts.clientSale = askClientSale(ctx_, lookup_,
                                     {.order = ClientSales::EarliestFirst,
                                      .goods = l.goods,
                                      .client = l.client,
                                      .date = l.date,
                                      .wanted = salePrice(l.price, l.markup),
                                      .pricedLine = l.isn});
  const ClientSale& sale = d.facts.clientSale.sale;
  if (!sale.found) d.facts.balanceCost = latestBalanceCost(lookup_, l.goods, l.date, ctx_.writtenCosts());
  d.price = finitePrice(sale.found ? sale.cost : d.facts.balanceCost);
  return d;
}

PriceDecision PriceDecider::fifo(const DocumentLine& l) {
  const FifoPricing& source = kindRow(kind_).fifoPricing;
  PriceDecision d{PriceRule::Fifo, 0.0, {}};
  d.facts.dayQuantity = DayQuantity(ctx_.state.dayQuantities(source.dayQuantities), l.goods, l.dept, l.date);
  d.facts.stock = source.stockFromLedger ? StockQuantity(ctx_.pricing, l.goods, l.dept, l.date, ctx_.documents()) : 0.0;
  list_.clear();
  d.price = finitePrice(
      ctx_.pricing.GetPasizmaksa(l.goods, l.dept, l.date, d.facts.stock, l.quantity, d.facts.dayQuantity, list_));
  return d;
}

}  // namespace talvix
