#include "fifo/issues_fifo.h"

#include "data/query.h"
#include "fifo/fifo_rules.h"
#include "fifo/last_priced_key.h"
#include "fifo/price_sources.h"
#include "ledger/stock_quantity.h"
#include "step/finite_price.h"
#include "step/held_cost.h"
#include "step/line_reset.h"
#include "step/operation_entry.h"
#include "step/stop_request.h"

#include <string>
#include <vector>

namespace talvix {

namespace {

constexpr const char* kHeading = "Aprēķinu izrakstīšanu ...";
constexpr const char* kClosing = "Izrakstīšana sadalīta";
constexpr const char* kOperationLabel = "AUTO IEP.SAD.";
constexpr const char* kOperationKey = "IZR=";

constexpr const char* kResetSelectSql =
    "SELECT O_PRCOUT.ISN FROM O_PAVOUT, O_PRCOUT, N_KLPREC WHERE O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT AND "
    "O_PRCOUT.ISPRECE = N_KLPREC.ISN AND O_PAVOUT.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ";
constexpr const char* kResetUpdateSql = "UPDATE O_PRCOUT SET O_PRCOUT.IEP_CENA=0.0 WHERE ISN=:ISN";
constexpr const char* kSelectSql =
    "SELECT O_PRCOUT.IEP_CENA, O_PAVOUT.DATUMS, O_PAVOUT.ISNODALA, O_PRCOUT.ISPRECE, O_PRCOUT.DAUDZUMS, "
    "O_PRCOUT.ISN, O_PRCOUT.NODOKLIS, O_PAVOUT.ISKLIENT, O_PRCOUT.CENA, O_PRCOUT.PIECENOJ, O_PRCOUT.ISSERTIF "
    "FROM O_PAVOUT, O_PRCOUT, N_KLPREC WHERE O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT AND "
    "O_PRCOUT.ISPRECE = N_KLPREC.ISN AND O_PAVOUT.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ AND "
    "(O_PRCOUT.IEP_CENA=0.00 OR O_PRCOUT.IEP_CENA IS NULL) ";
constexpr const char* kSelectOrder =
    " ORDER BY O_PAVOUT.DATUMS, O_PAVOUT.ISNODALA, O_PRCOUT.ISPRECE, O_PRCOUT.DAUDZUMS DESCENDING ";
constexpr const char* kUpdateSql = "UPDATE O_PRCOUT SET IEP_CENA = :IEP_CENA WHERE ISN=:ISN";

constexpr const char* kSerialReceiptSql =
    "SELECT O_PRECE.ISN, O_PRECE.CENA*(1+O_PRECE.ATLAIDE/100.00) CENA FROM O_PRECE WHERE "
    "O_PRECE.ISPRECE = :ISPRECE AND O_PRECE.ISSERTIF = :ISSERTIF";
// ISN comes along so that the line being priced does not match itself.
constexpr const char* kClientSalesSql =
    "SELECT O_PRCOUT.ISN, O_PRCOUT.IEP_CENA, O_PRCOUT.CENA, O_PRCOUT.PIECENOJ FROM O_PAVOUT, O_PRCOUT WHERE "
    "O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT AND O_PAVOUT.DATUMS<=:DATUMS AND O_PAVOUT.ISKLIENT = :ISKLIENT AND "
    "O_PRCOUT.ISPRECE = :ISPRECE ORDER BY O_PAVOUT.DATUMS, O_PRCOUT.DAUDZUMS DESCENDING";
constexpr const char* kLatestBalanceCostSql =
    "SELECT O_PRATL_PRC.IEP_CENA, O_PRATL_PAV.DATUMS FROM O_PRATL_PRC, O_PRATL_PAV WHERE "
    "O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV AND O_PRATL_PRC.IEP_CENA != 0 AND O_PRATL_PRC.ISPRECE = :ISPRECE "
    "AND O_PRATL_PAV.DATUMS<:DATUMS ORDER BY O_PRATL_PAV.DATUMS DESCENDING";

struct IssueLine {
  DateTime date;
  int dept;
  int goods;
  double quantity;
  int isn;
  double tax;
  int client;
  double price;
  double markup;
  int serial;
};

struct IssueFields {
  explicit IssueFields(const Query& q)
      : date(q.fieldIndex("DATUMS")), dept(q.fieldIndex("ISNODALA")), goods(q.fieldIndex("ISPRECE")),
        quantity(q.fieldIndex("DAUDZUMS")), isn(q.fieldIndex("ISN")), tax(q.fieldIndex("NODOKLIS")),
        client(q.fieldIndex("ISKLIENT")), price(q.fieldIndex("CENA")), markup(q.fieldIndex("PIECENOJ")),
        serial(q.fieldIndex("ISSERTIF")) {}
  IssueLine read(const Query& q) const {
    return {q.asDateTime(date), q.asInteger(dept),  q.asInteger(goods), q.asDouble(quantity), q.asInteger(isn),
            q.asDouble(tax),    q.asInteger(client), q.asDouble(price), q.asDouble(markup),  q.asInteger(serial)};
  }
  int date, dept, goods, quantity, isn, tax, client, price, markup, serial;
};

// The five rules in their order; the key is consulted and moved only by the last two.
class IssuePricer {
 public:
  IssuePricer(RunContext& ctx, Query& update) : ctx_(ctx), update_(update) {}

  void price(const IssueLine& line) {
    const PriceRule rule = issueRuleFifo(ctx_.settings, line.serial, line.quantity);
    if (rule == PriceRule::FirstSalePrice) {
      bind(firstSalePriceWithoutTax(ctx_, line.goods, line.tax));
    } else if (rule == PriceRule::Serial) {
      bind(SerialReceiptPrice(ctx_, line.goods, line.serial));
    } else if (rule == PriceRule::LastPurchasePrice) {
      bind(ctx_.pricing.GetPedIepCena(line.goods, line.dept, 0, line.date));
    } else {
      if (rule == PriceRule::ClientSale) {
        bind(ClientSaleCost(ctx_, line.goods, line.client, line.date, salePrice(line.price, line.markup), line.isn));
      } else if (key_.matches(line.date, line.dept, line.goods)) {
        bind(key_.price());
      } else {
        const double day = DayQuantity(ctx_.state.sqlDienDaudzums, line.goods, line.dept, line.date);
        const double stock = StockQuantity(ctx_.pricing, line.goods, line.dept, line.date);
        bind(ctx_.pricing.GetPasizmaksa(line.goods, line.dept, line.date, stock, line.quantity, day, list_));
      }
      key_.remember(line.date, line.dept, line.goods, update_.paramDouble("IEP_CENA"));
    }
  }

 private:
  void bind(double price) { update_.setDouble("IEP_CENA", finitePrice(price)); }

  RunContext& ctx_;
  Query& update_;
  LastPricedKey key_;
  std::vector<std::string> list_;  // the library's; never read here
};

}  // namespace

void AssignIssuesFifo(RunContext& ctx) {
  ctx.log.AddProcessLine(kHeading, false);
  ctx.log.AddProcessLine("", false);
  Query lines(ctx.db());
  Query update(ctx.db());
  const int mode = ctx.settings.issues;
  writeOperationEntry(ctx, kOperationLabel, kOperationKey, mode);
  if (mode == kAllAnew)
    resetLinesOneByOne(ctx, lines, update, {kResetUpdateSql, kResetSelectSql + ctx.state.ServicesFilter, 0, true});

  lines.setTransaction(ctx.documents());
  lines.setSql(kSelectSql + ctx.state.ServicesFilter + kSelectOrder);
  update.setSql(kUpdateSql);
  IssuePricer pricer(ctx, update);
  bindPeriod(lines, ctx.settings);
  lines.open();
  const std::string total = std::to_string(lines.rowCount());
  const IssueFields fields(lines);
  const int held = lines.fieldIndex("IEP_CENA");
  int counter = 0;
  for (lines.first(); !lines.eof(); lines.next()) {
    ctx.log.AddProcessLine(std::to_string(counter) + "/" + total, true);
    ++counter;
    const IssueLine line = fields.read(lines);
    update.setInteger("ISN", line.isn);
    pricer.price(line);
    if (!HeldCost::of(lines, held).same(update.paramDouble("IEP_CENA"))) {
      update.execSql();
      ctx.tran().commitRetaining();
    }
    stopPoint();
  }
  ctx.commitIfActive();
  ctx.log.AddProcessLine(kClosing, false);
}

SerialReceipt FindSerialReceipt(RunContext& ctx, int goods, int serial) {
  SerialReceipt result;
  Query query(ctx.db());
  query.setSql(kSerialReceiptSql);
  query.setInteger("ISPRECE", goods);
  query.setInteger("ISSERTIF", serial);
  query.open();
  if (!query.eof() && query.asInteger("ISN") > 0) {
    result.found = true;
    result.price = query.asDouble("CENA");
  }
  return result;
}

double SerialReceiptPrice(RunContext& ctx, int goods, int serial) {
  return FindSerialReceipt(ctx, goods, serial).price;
}

ClientSaleMatch FindClientSale(RunContext& ctx, int goods, int client, DateTime date, double wanted, int pricedLine) {
  Query query(ctx.db());
  query.setSql(kClientSalesSql);
  query.setInteger("ISKLIENT", client);
  query.setDateTime("DATUMS", date);
  query.setInteger("ISPRECE", goods);
  query.open();
  const int isn = query.fieldIndex("ISN"), cost = query.fieldIndex("IEP_CENA"), price = query.fieldIndex("CENA"),
            markup = query.fieldIndex("PIECENOJ");
  for (query.first(); !query.eof(); query.next()) {
    if (query.asInteger(isn) == pricedLine) continue;
    if (sameSalePrice(salePrice(query.asDouble(price), query.asDouble(markup)), wanted))
      return {query.asDouble(cost), query.asInteger(isn)};
  }
  return {LatestBalanceCost(query, goods, date), 0};
}

double ClientSaleCost(RunContext& ctx, int goods, int client, DateTime date, double wanted, int pricedLine) {
  return FindClientSale(ctx, goods, client, date, wanted, pricedLine).cost;
}

double LatestBalanceCost(Query& lookup, int goods, DateTime date) {
  lookup.close();
  lookup.setSql(kLatestBalanceCostSql);
  lookup.setDateTime("DATUMS", date);
  lookup.setInteger("ISPRECE", goods);
  lookup.open();
  return lookup.eof() ? 0.0 : lookup.asDouble("IEP_CENA");
}

}  // namespace talvix
