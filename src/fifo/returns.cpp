#include "fifo/returns.h"

#include "data/query.h"
#include "fifo/issues_fifo.h"
#include "fifo/price_sources.h"
#include "step/finite_price.h"
#include "step/held_cost.h"
#include "step/line_reset.h"
#include "step/operation_entry.h"
#include "step/stop_request.h"

#include <string>

namespace talvix {

namespace {

constexpr const char* kHeading = "Aprēķinu atgriešanu ...";
constexpr const char* kOperationLabel = "IEP.SAD.";
constexpr const char* kOperationKey = "ATGR=";

constexpr const char* kResetSql =
    "UPDATE O_ATGPRC SET O_ATGPRC.IEP_CENA=0.0 WHERE ISN IN (SELECT O_ATGPRC.ISN FROM O_ATGPAV, O_ATGPRC, N_KLPREC "
    "WHERE O_ATGPAV.ISN = O_ATGPRC.ISATGPAV AND O_ATGPRC.ISPRECE = N_KLPREC.ISN AND O_ATGPAV.FROM_WHAT != 1 AND "
    "O_ATGPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ";
constexpr const char* kResetEnd = ") ";
constexpr const char* kSelectSql =
    "SELECT O_ATGPRC.ISN, O_ATGPRC.IEP_CENA, O_ATGPAV.DATUMS, O_ATGPAV.ISNODALA, O_ATGPRC.ISPRECE, "
    "O_ATGPRC.DAUDZUMS, O_ATGPRC.ISN, O_ATGPAV.ISKLIENT, O_ATGPAV.FROM_WHAT, O_ATGPRC.CENA, O_ATGPRC.PIECENOJ, "
    "O_ATGPRC.ISSERTIF FROM O_ATGPAV, O_ATGPRC, N_KLPREC WHERE O_ATGPAV.ISN = O_ATGPRC.ISATGPAV AND "
    "O_ATGPRC.ISPRECE = N_KLPREC.ISN AND O_ATGPAV.DATUMS >=:DAT_NO AND O_ATGPAV.DATUMS <=:DAT_LIDZ AND "
    "(O_ATGPRC.IEP_CENA=0.00 OR O_ATGPRC.IEP_CENA IS NULL)";
constexpr const char* kUpdateSql = "UPDATE O_ATGPRC SET IEP_CENA=:IEP_CENA WHERE ISN=:ISN";
constexpr const char* kClientSalesSql =
    "SELECT O_PRCOUT.IEP_CENA, O_PRCOUT.CENA, O_PRCOUT.PIECENOJ FROM O_PAVOUT, O_PRCOUT WHERE "
    "O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT AND O_PAVOUT.DATUMS<=:DATUMS AND O_PAVOUT.ISKLIENT = :ISKLIENT AND "
    "O_PRCOUT.ISPRECE = :ISPRECE";
constexpr const char* kLatestReceiptSql =
    "SELECT O_PRECE.CENA*(1+O_PRECE.ATLAIDE/100) IEP_CENA, O_PAVADZ.DAT_SANEM FROM O_PRECE, O_PAVADZ WHERE "
    "O_PAVADZ.ISN = O_PRECE.ISPAVADZ AND O_PRECE.CENA != 0 AND O_PRECE.ISPRECE = :ISPRECE AND "
    "O_PAVADZ.DAT_SANEM<:DATUMS ORDER BY O_PAVADZ.DAT_SANEM DESCENDING";

struct ReturnFields {
  explicit ReturnFields(const Query& q)
      : date(q.fieldIndex("DATUMS")), goods(q.fieldIndex("ISPRECE")), quantity(q.fieldIndex("DAUDZUMS")),
        isn(q.fieldIndex("ISN")), client(q.fieldIndex("ISKLIENT")), origin(q.fieldIndex("FROM_WHAT")),
        price(q.fieldIndex("CENA")), markup(q.fieldIndex("PIECENOJ")), serial(q.fieldIndex("ISSERTIF")) {}
  ReturnedLine read(const Query& q) const {
    return {q.asDateTime(date),  q.asInteger(goods),  q.asDouble(quantity), q.asInteger(isn),
            q.asInteger(client), q.asInteger(origin), q.asDouble(price),    q.asDouble(markup),
            q.asInteger(serial)};
  }
  int date, goods, quantity, isn, client, origin, price, markup, serial;
};

// The unit's receipt or an earlier sale to the client at the same price; cost.rule stays
// BalanceStage when neither gives one.
bool fromClientSale(RunContext& ctx, Query& lookup, const ReturnedLine& line, ReturnCost& cost) {
  lookup.close();
  lookup.setSql(kClientSalesSql);
  lookup.setInteger("ISKLIENT", line.client);
  lookup.setDateTime("DATUMS", line.date);
  lookup.setInteger("ISPRECE", line.goods);
  lookup.open();
  if (lookup.eof()) return false;
  cost.clientHasSales = true;
  if (serialRuleApplies(ctx.settings, line.serial, line.quantity)) {
    const SerialReceipt receipt = FindSerialReceipt(ctx, line.goods, line.serial);
    cost.serialReceiptFound = receipt.found;
    if (!(receipt.price > 0.0)) return false;
    cost.rule = PriceRule::Serial;
    cost.price = receipt.price;
    return true;
  }
  const double wanted = salePrice(line.price, line.markup);
  const int costField = lookup.fieldIndex("IEP_CENA"), price = lookup.fieldIndex("CENA"),
            markup = lookup.fieldIndex("PIECENOJ");
  for (lookup.first(); !lookup.eof(); lookup.next()) {
    if (sameSalePrice(salePrice(lookup.asDouble(price), lookup.asDouble(markup)), wanted)) {
      cost.rule = PriceRule::ClientSale;
      cost.price = lookup.asDouble(costField);
      return true;
    }
  }
  return false;
}

double latestReceiptPrice(Query& lookup, const ReturnedLine& line) {
  lookup.close();
  lookup.setSql(kLatestReceiptSql);
  lookup.setDateTime("DATUMS", line.date);
  lookup.setInteger("ISPRECE", line.goods);
  lookup.open();
  return lookup.eof() ? 0.0 : lookup.asDouble("IEP_CENA");
}

// A cost from the client's sale is committed at once; the fallback waits for the step's end.
class ReturnPricer {
 public:
  ReturnPricer(RunContext& ctx, Query& lookup, Query& update) : ctx_(ctx), lookup_(lookup), update_(update) {}

  void price(const ReturnedLine& line, HeldCost held) {
    const ReturnCost cost = FindReturnCost(ctx_, lookup_, line);
    const double price = finitePrice(cost.price);
    if (held.same(price)) return;
    update_.setDouble("IEP_CENA", price);
    update_.setInteger("ISN", line.isn);
    update_.execSql();
    if (cost.rule != PriceRule::BalanceStage) ctx_.tran().commitRetaining();
  }

 private:
  RunContext& ctx_;
  Query& lookup_;
  Query& update_;
};

}  // namespace

void AssignReturns(RunContext& ctx) {
  ctx.log.AddProcessLine(kHeading, false);
  Query lookup(ctx.db());
  const int mode = ctx.settings.returns;
  writeOperationEntry(ctx, kOperationLabel, kOperationKey, mode);
  if (mode == kAllAnew) {
    lookup.setSql(kResetSql + ctx.state.ServicesFilter + kResetEnd);
    bindPeriod(lookup, ctx.settings);
    lookup.execSql();
    ctx.tran().commitRetaining();
  }

  Query lines(ctx.db());
  Query update(ctx.db());
  lines.setTransaction(ctx.documents());
  lines.setSql(kSelectSql + ctx.state.ServicesFilter);
  update.setSql(kUpdateSql);
  bindPeriod(lines, ctx.settings);
  lines.open();
  const std::string total = std::to_string(lines.rowCount());
  const ReturnFields fields(lines);
  const int held = lines.fieldIndex("IEP_CENA");
  ReturnPricer pricer(ctx, lookup, update);
  int counter = 1;
  for (lines.first(); !lines.eof(); lines.next()) {
    ctx.log.AddProcessLine(std::to_string(counter) + "/" + total, true);
    ++counter;
    const ReturnedLine line = fields.read(lines);
    if (!returnPricedHere(line)) continue;
    pricer.price(line, HeldCost::of(lines, held));
    stopPoint();
  }
  ctx.commitIfActive();
}

bool returnPricedHere(const ReturnedLine& line) { return line.origin != kUntouchedOrigin; }

ReturnCost FindReturnCost(RunContext& ctx, Query& lookup, const ReturnedLine& line) {
  ReturnCost cost;
  if (fromClientSale(ctx, lookup, line, cost)) return cost;
  cost.price = LatestBalanceCost(lookup, line.goods, line.date);
  if (cost.price == 0.0) cost.price = latestReceiptPrice(lookup, line);
  return cost;
}

}  // namespace talvix
