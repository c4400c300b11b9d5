#include "step/price_lookups.h"

#include "data/query.h"

namespace talvix {
namespace {

constexpr const char* kSerialReceiptSql =
    "SELECT O_PRECE.ISN, O_PRECE.CENA*(1+O_PRECE.ATLAIDE/100.00) CENA FROM O_PRECE WHERE "
    "O_PRECE.ISPRECE = :ISPRECE AND O_PRECE.ISSERTIF = :ISSERTIF";
#define CLIENT_SALES_FROM                                                                               \
  " FROM O_PAVOUT, O_PRCOUT WHERE O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT AND O_PAVOUT.DATUMS<=:DATUMS AND " \
  "O_PAVOUT.ISKLIENT = :ISKLIENT AND O_PRCOUT.ISPRECE = :ISPRECE"
// ISN comes along so that the line being priced does not match itself.
constexpr const char* kEarliestClientSalesSql =
    "SELECT O_PRCOUT.ISN, O_PRCOUT.IEP_CENA, O_PRCOUT.CENA, O_PRCOUT.PIECENOJ" CLIENT_SALES_FROM
    " ORDER BY O_PAVOUT.DATUMS, O_PRCOUT.DAUDZUMS DESCENDING";
constexpr const char* kClientSalesSql = "SELECT O_PRCOUT.IEP_CENA, O_PRCOUT.CENA, O_PRCOUT.PIECENOJ" CLIENT_SALES_FROM;
#undef CLIENT_SALES_FROM
constexpr const char* kLatestBalanceCostSql =
    "SELECT O_PRATL_PRC.IEP_CENA, O_PRATL_PAV.DATUMS FROM O_PRATL_PRC, O_PRATL_PAV WHERE "
    "O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV AND O_PRATL_PRC.IEP_CENA != 0 AND O_PRATL_PRC.ISPRECE = :ISPRECE "
    "AND O_PRATL_PAV.DATUMS<:DATUMS ORDER BY O_PRATL_PAV.DATUMS DESCENDING";
constexpr const char* kLatestReceiptSql =
    "SELECT O_PRECE.CENA*(1+O_PRECE.ATLAIDE/100) IEP_CENA, O_PAVADZ.DAT_SANEM FROM O_PRECE, O_PAVADZ WHERE "
    "O_PAVADZ.ISN = O_PRECE.ISPAVADZ AND O_PRECE.CENA != 0 AND O_PRECE.ISPRECE = :ISPRECE AND "
    "O_PAVADZ.DAT_SANEM<:DATUMS ORDER BY O_PAVADZ.DAT_SANEM DESCENDING";

constexpr double kSalePriceTolerance = 0.01;

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

ClientSale firstSaleAtPrice(Query& sales, double wanted, int pricedLine) {
  const int isn = sales.findField("ISN"), cost = sales.fieldIndex("IEP_CENA"), price = sales.fieldIndex("CENA"),
            markup = sales.fieldIndex("PIECENOJ");
  for (sales.first(); !sales.eof(); sales.next()) {
    const int line = isn < 0 ? 0 : sales.asInteger(isn);
    if (isn >= 0 && line == pricedLine) continue;
    const double candidate = salePrice(sales.asDouble(price), sales.asDouble(markup));
    if (candidate >= wanted - kSalePriceTolerance && candidate <= wanted + kSalePriceTolerance)
      return {true, sales.asDouble(cost), line};
  }
  return {};
}

ClientSale findClientSale(Query& lookup, int goods, int client, DateTime date, double wanted, int pricedLine) {
  openClientSales(lookup, ClientSales::EarliestFirst, goods, client, date);
  return firstSaleAtPrice(lookup, wanted, pricedLine);
}

double latestBalanceCost(Query& lookup, int goods, DateTime date) {
  return firstCost(lookup, kLatestBalanceCostSql, goods, date);
}

double latestReceiptPrice(Query& lookup, int goods, DateTime date) {
  return firstCost(lookup, kLatestReceiptSql, goods, date);
}

}  // namespace talvix
