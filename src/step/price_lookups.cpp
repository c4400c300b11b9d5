#include "step/price_lookups.h"

#include "data/query.h"

namespace talvix {
namespace {

// The first row's IEP_CENA of sql bound with goods and date; 0.0 without a row.
double firstCost(Query& lookup, const char* sql, int goods, DateTime date) {
  lookup.close();
  lookup.setSql(sql);
  lookup.setDateTime("DATUMS", date);
  lookup.setInteger("ISPRECE", goods);
  lookup.open();
  return lookup.eof() ? 0.0 : lookup.asDouble("IEP_CENA");
}

}  // namespace

double firstSalePriceWithoutTax(RunContext& ctx, int goods, double tax) {
  double price = ctx.pricing.newKlprecInfo(goods)->FirstSalePrice();
  if (tax != 0.0) price = price / (tax * 0.01 + 1.0);
  return price;
}

SerialReceipt findSerialReceipt(Query& lookup, int goods, int serial) {
  lookup.close();
  lookup.setSql(kSerialReceiptSql);
  lookup.setInteger("ISPRECE", goods);
  lookup.setInteger("ISSERTIF", serial);
  lookup.open();
  if (lookup.eof() || lookup.asInteger("ISN") <= 0) return {};
  return {true, lookup.asDouble("CENA")};
}

void openClientSales(Query& lookup, ClientSales order, int goods, int client, DateTime date) {
  lookup.close();
  lookup.setSql(order == ClientSales::EarliestFirst ? kEarliestClientSalesSql : kClientSalesSql);
  lookup.setInteger("ISKLIENT", client);
  lookup.setDateTime("DATUMS", date);
  lookup.setInteger("ISPRECE", goods);
  lookup.open();
}

ClientSale firstSaleAtPrice(Query& sales, double wanted, int pricedLine, const WrittenCosts* written) {
  const int isn = sales.findField("ISN"), cost = sales.fieldIndex("IEP_CENA"), price = sales.fieldIndex("CENA"),
            markup = sales.fieldIndex("PIECENOJ");
  for (sales.first(); !sales.eof(); sales.next()) {
    const int line = isn < 0 ? 0 : sales.asInteger(isn);
    if (isn >= 0 && line == pricedLine) continue;
    if (salePriceMatches(salePrice(sales.asDouble(price), sales.asDouble(markup)), wanted))
      return {true, written ? written->cost(DocumentKind::Issue, line, sales.asDouble(cost)) : sales.asDouble(cost),
              line};
  }
  return {};
}

ClientSaleAnswer readClientSale(Query& lookup, const ClientSaleQuestion& q, const WrittenCosts* written) {
  openClientSales(lookup, q.order, q.goods, q.client, q.date);
  ClientSaleAnswer answer;
  answer.anySale = !lookup.eof();
  if (answer.anySale) answer.sale = firstSaleAtPrice(lookup, q.wanted, q.pricedLine, written);
  return answer;
}

ClientSaleAnswer askClientSale(RunContext& ctx, Query& lookup, const ClientSaleQuestion& q) {
  // The library's history already holds the pass's own cost writes.
  if (std::optional<ClientSaleAnswer> held = ctx.pricing.ClientSaleFromHistory(q)) return *held;
  return readClientSale(lookup, q, ctx.writtenCosts());
}

ClientSale findClientSale(Query& lookup, int goods, int client, DateTime date, double wanted, int pricedLine,
                          const WrittenCosts* written) {
  return readClientSale(lookup, {ClientSales::EarliestFirst, goods, client, date, wanted, pricedLine}, written).sale;
}

double latestBalanceCost(Query& lookup, int goods, DateTime date, const WrittenCosts* written) {
  if (!written || !written->any(DocumentKind::Balance)) return firstCost(lookup, kLatestBalanceCostSql, goods, date);
  // The first line whose cost, as written or read, is not zero; in the statement's order.
  firstCost(lookup, kLatestBalanceCostsSql, goods, date);
  const int isn = lookup.fieldIndex("ISN"), cost = lookup.fieldIndex("IEP_CENA");
  for (; !lookup.eof(); lookup.next()) {
    const double value = written->cost(DocumentKind::Balance, lookup.asInteger(isn), lookup.asDouble(cost));
    if (value != 0) return value;
  }
  return 0.0;
}

double latestReceiptPrice(Query& lookup, int goods, DateTime date) {
  return firstCost(lookup, kLatestReceiptSql, goods, date);
}

}  // namespace talvix
