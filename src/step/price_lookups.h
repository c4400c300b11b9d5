#pragma once
// The database look-ups several kinds and the report of lines without cost share, one per source.
// Each answers what it found, so a caller that explains a 0.0 can tell "none" from "one without a
// price". Those taking a lookup query run on it, replacing its text.
#include "data/client_sale.h"
#include "data/date_time.h"
#include "data/document_tables.h"
#include "step/run_context.h"
#include "step/written_costs.h"

#include <array>
#include <cstddef>

namespace talvix {

class Query;

// The statements, named for the test that prepares every statement the tool runs.
inline constexpr const char* kSerialReceiptSql =
    "SELECT O_PRECE.ISN, O_PRECE.CENA*(1+O_PRECE.ATLAIDE/100.00) CENA FROM O_PRECE WHERE "
    "O_PRECE.ISPRECE = :ISPRECE AND O_PRECE.ISSERTIF = :ISSERTIF";
// "+0" keeps the client and date indexes out of the plan: ANDed, they cost a bitmap of every sale
// up to the day, while the goods' own lines are few.
#define CLIENT_SALES_FROM                                                                                 \
  " FROM O_PAVOUT, O_PRCOUT WHERE O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT AND O_PAVOUT.DATUMS+0<=:DATUMS AND " \
  "O_PAVOUT.ISKLIENT+0 = :ISKLIENT AND O_PRCOUT.ISPRECE = :ISPRECE"
// ISN comes along so that the line being priced does not match itself.
inline constexpr const char* kEarliestClientSalesSql =
    "SELECT O_PRCOUT.ISN, O_PRCOUT.IEP_CENA, O_PRCOUT.CENA, O_PRCOUT.PIECENOJ" CLIENT_SALES_FROM
    " ORDER BY O_PAVOUT.DATUMS, O_PRCOUT.DAUDZUMS DESCENDING, O_PRCOUT.ISN";
inline constexpr const char* kClientSalesSql =
    "SELECT O_PRCOUT.ISN, O_PRCOUT.IEP_CENA, O_PRCOUT.CENA, O_PRCOUT.PIECENOJ" CLIENT_SALES_FROM;
#undef CLIENT_SALES_FROM
inline constexpr const char* kLatestBalanceCostSql =
    "SELECT O_PRATL_PRC.IEP_CENA, O_PRATL_PAV.DATUMS FROM O_PRATL_PRC, O_PRATL_PAV WHERE "
    "O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV AND O_PRATL_PRC.IEP_CENA != 0 AND O_PRATL_PRC.ISPRECE = :ISPRECE "
    "AND O_PRATL_PAV.DATUMS<:DATUMS ORDER BY O_PRATL_PAV.DATUMS DESCENDING";
// The same lines whatever their cost, for a pass whose own balance costs its snapshot cannot see.
inline constexpr const char* kLatestBalanceCostsSql =
    "SELECT O_PRATL_PRC.ISN, O_PRATL_PRC.IEP_CENA, O_PRATL_PAV.DATUMS FROM O_PRATL_PRC, O_PRATL_PAV WHERE "
    "O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV AND O_PRATL_PRC.ISPRECE = :ISPRECE "
    "AND O_PRATL_PAV.DATUMS<:DATUMS ORDER BY O_PRATL_PAV.DATUMS DESCENDING";
inline constexpr const char* kLatestReceiptSql =
    "SELECT O_PRECE.CENA*(1+O_PRECE.ATLAIDE/100) IEP_CENA, O_PAVADZ.DAT_SANEM FROM O_PRECE, O_PAVADZ WHERE "
    "O_PAVADZ.ISN = O_PRECE.ISPAVADZ AND O_PRECE.CENA != 0 AND O_PRECE.ISPRECE = :ISPRECE AND "
    "O_PAVADZ.DAT_SANEM<:DATUMS ORDER BY O_PAVADZ.DAT_SANEM DESCENDING";
// The date-time of a department's first stock-in of a goods after a date: a receipt, a transfer in
// with a cost, a return from a client with a cost.
inline constexpr char kNextStockInHead[] =
    "SELECT O_PAVADZ.DAT_SANEM DATUMS                 FROM O_PRECE, O_PAVADZ                WHERE "
    "O_prece.ISPAVADZ = O_pavadz.ISN                 AND O_PAVADZ.ISNODALA = :ISNODALA               "
    "  AND O_PRECE.ISPRECE = :ISPRECE                 AND O_PAVADZ.DAT_SANEM > :DATUMSNO             "
    "    UNION                SELECT O_PARPAV.DATUMS                   FROM O_PARPRC, O_PARPAV       "
    "           WHERE O_PARPRC.ISPARVPAV = O_PARPAV.ISN                   AND O_PARPAV.ISNODALAUZ = "
    ":ISNODALA                   AND O_PARPRC.ISPRECE = :ISPRECE                   AND "
    "O_PARPAV.DATUMS > :DATUMSNO                    AND O_PARPRC.CENA > 0                 UNION      "
    "          SELECT O_ATGPAV.DATUMS                   FROM O_ATGPRC, O_ATGPAV                  "
    "WHERE O_ATGPRC.ISATGPAV = O_ATGPAV.ISN                   AND O_ATGPAV.ISNODALA = :ISNODALA      "
    "             AND O_ATGPRC.ISPRECE = :ISPRECE                   AND O_ATGPAV.DATUMS > :DATUMSNO  "
    "                  AND O_ATGPRC.IEP_CENA > 0                    AND O_ATGPAV.FROM_WHAT = ";
inline constexpr char kNextStockInTail[] =
    "       "
    "          order by 1";
// The head, the origin of the returns that count as a stock-in (kStockInOrigin), the tail.
inline constexpr auto kNextStockInText = [] {
  static_assert(kStockInOrigin >= 0 && kStockInOrigin <= 9, "one digit");
  std::array<char, sizeof kNextStockInHead + sizeof kNextStockInTail> text{};
  std::size_t at = 0;
  for (std::size_t i = 0; i + 1 < sizeof kNextStockInHead; ++i) text[at++] = kNextStockInHead[i];
  text[at++] = static_cast<char>('0' + kStockInOrigin);
  for (std::size_t i = 0; i < sizeof kNextStockInTail; ++i) text[at++] = kNextStockInTail[i];
  return text;
}();
inline constexpr const char* kNextStockInSql = kNextStockInText.data();

// The goods' first sale price, divided by (tax x 0.01 + 1.0) unless the tax is 0.0.
double firstSalePriceWithoutTax(RunContext& ctx, int goods, double tax);

struct SerialReceipt {
  bool found = false;  // a receipt line carries the record
  double price = 0.0;  // its price with its ATLAIDE; 0.0 when none
};
// The receipt line of goods carrying serial record; the first the database returns.
SerialReceipt findSerialReceipt(Query& lookup, int goods, int serial);

// Opens on lookup the client's issue lines of goods dated on or before date, in that order.
void openClientSales(Query& lookup, ClientSales order, int goods, int client, DateTime date);

// The first line open on sales whose sale price matches wanted; pricedLine (EarliestFirst only)
// never matches. written: the pass's own costs, laid over those read (null: none).
ClientSale firstSaleAtPrice(Query& sales, double wanted, int pricedLine, const WrittenCosts* written = nullptr);

// openClientSales then firstSaleAtPrice, on the database.
ClientSaleAnswer readClientSale(Query& lookup, const ClientSaleQuestion& question, const WrittenCosts* written);

// The library's answer from the history it holds, else the statements on lookup.
ClientSaleAnswer askClientSale(RunContext& ctx, Query& lookup, const ClientSaleQuestion& question);

// readClientSale, earliest first.
ClientSale findClientSale(Query& lookup, int goods, int client, DateTime date, double wanted, int pricedLine,
                          const WrittenCosts* written = nullptr);

// The non-zero cost on the latest goods-balance document of any department dated strictly before
// date; 0.0 when there is none.
double latestBalanceCost(Query& lookup, int goods, DateTime date, const WrittenCosts* written = nullptr);

// The receipt price with its ATLAIDE of the latest receipt of any department received strictly
// before date; 0.0 when there is none.
double latestReceiptPrice(Query& lookup, int goods, DateTime date);

}  // namespace talvix
