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

// Returns of this origin are neither priced nor reset here.
constexpr int kUntouchedOrigin = 1;

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

struct ReturnLine {
  DateTime date;
  int goods;
  double quantity;
  int isn;
  int client;
  int origin;
  double price;
  double markup;
  int serial;
  HeldCost held;
};

struct ReturnFields {
  explicit ReturnFields(const Query& q)
      : date(q.fieldIndex("DATUMS")), goods(q.fieldIndex("ISPRECE")), quantity(q.fieldIndex("DAUDZUMS")),
        isn(q.fieldIndex("ISN")), client(q.fieldIndex("ISKLIENT")), origin(q.fieldIndex("FROM_WHAT")),
        price(q.fieldIndex("CENA")), markup(q.fieldIndex("PIECENOJ")), serial(q.fieldIndex("ISSERTIF")),
        held(q.fieldIndex("IEP_CENA")) {}
  ReturnLine read(const Query& q) const {
    return {q.asDateTime(date),  q.asInteger(goods),  q.asDouble(quantity), q.asInteger(isn),
            q.asInteger(client), q.asInteger(origin), q.asDouble(price),    q.asDouble(markup),
            q.asInteger(serial), HeldCost::of(q, held)};
  }
  int date, goods, quantity, isn, client, origin, price, markup, serial, held;
};

class ReturnPricer {
 public:
  ReturnPricer(RunContext& ctx, Query& lookup, Query& update) : ctx_(ctx), lookup_(lookup), update_(update) {}

  void price(const ReturnLine& line) {
    if (fromClientSale(line)) return;
    double price = LatestBalanceCost(lookup_, line.goods, line.date);
    if (price == 0.0) price = latestReceiptPrice(line);
    write(line, price);
  }

 private:
  // The unit's receipt or an earlier sale to the client at the same price; committed at once.
  bool fromClientSale(const ReturnLine& line) {
    lookup_.close();
    lookup_.setSql(kClientSalesSql);
    lookup_.setInteger("ISKLIENT", line.client);
    lookup_.setDateTime("DATUMS", line.date);
    lookup_.setInteger("ISPRECE", line.goods);
    lookup_.open();
    if (lookup_.eof()) return false;
    if (serialRuleApplies(ctx_.settings, line.serial, line.quantity)) {
      const double receipt = SerialReceiptPrice(ctx_, line.goods, line.serial);
      if (!(receipt > 0.0)) return false;
      writeAndCommit(line, receipt);
      return true;
    }
    const double wanted = salePrice(line.price, line.markup);
    const int cost = lookup_.fieldIndex("IEP_CENA"), price = lookup_.fieldIndex("CENA"),
              markup = lookup_.fieldIndex("PIECENOJ");
    for (lookup_.first(); !lookup_.eof(); lookup_.next()) {
      if (sameSalePrice(salePrice(lookup_.asDouble(price), lookup_.asDouble(markup)), wanted)) {
        writeAndCommit(line, lookup_.asDouble(cost));
        return true;
      }
    }
    return false;
  }

  double latestReceiptPrice(const ReturnLine& line) {
    lookup_.close();
    lookup_.setSql(kLatestReceiptSql);
    lookup_.setDateTime("DATUMS", line.date);
    lookup_.setInteger("ISPRECE", line.goods);
    lookup_.open();
    return lookup_.eof() ? 0.0 : lookup_.asDouble("IEP_CENA");
  }

  // False when the line already holds the price.
  bool write(const ReturnLine& line, double price) {
    price = finitePrice(price);
    if (line.held.same(price)) return false;
    update_.setDouble("IEP_CENA", price);
    update_.setInteger("ISN", line.isn);
    update_.execSql();
    return true;
  }
  void writeAndCommit(const ReturnLine& line, double price) {
    if (write(line, price)) ctx_.tran().commitRetaining();
  }

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
  ReturnPricer pricer(ctx, lookup, update);
  int counter = 1;
  for (lines.first(); !lines.eof(); lines.next()) {
    ctx.log.AddProcessLine(std::to_string(counter) + "/" + total, true);
    ++counter;
    const ReturnLine line = fields.read(lines);
    if (line.origin == kUntouchedOrigin) continue;
    pricer.price(line);
    stopPoint();
  }
  ctx.commitIfActive();
}

}  // namespace talvix
