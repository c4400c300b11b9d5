#include "fifo/transfers_fifo.h"

#include "data/query.h"
#include "fifo/fifo_rules.h"
#include "fifo/issues_fifo.h"
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

constexpr const char* kHeading = "Aprēķinu pārvietošanu ...";
constexpr const char* kClosing = "Pārvietošana piešķirta";
constexpr const char* kOperationLabel = "AUTO.IEP.SAD.";
constexpr const char* kOperationKey = "PARV=";

constexpr const char* kResetUpdateSql = "UPDATE O_PARPRC SET O_PARPRC.CENA=0.0 WHERE ISN=:ISN";
constexpr const char* kResetSelectSql =
    "SELECT O_PARPRC.ISN FROM O_PARPAV, O_PARPRC, N_KLPREC WHERE O_PARPAV.ISN = O_PARPRC.ISPARVPAV AND "
    "O_PARPRC.ISPRECE = N_KLPREC.ISN AND O_PARPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ";
constexpr const char* kSelectSql =
    "SELECT O_PARPRC.CENA, O_PARPAV.DATUMS, O_PARPAV.ISNODALANO ISNODALA, O_PARPRC.ISPRECE, O_PARPRC.DAUDZUMS, "
    "O_PARPRC.ISN, O_PARPRC.NODOKLIS, O_PARPRC.ISSERTIF FROM O_PARPAV, O_PARPRC, N_KLPREC WHERE "
    "O_PARPAV.ISN = O_PARPRC.ISPARVPAV AND O_PARPRC.ISPRECE = N_KLPREC.ISN AND "
    "O_PARPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ AND (O_PARPRC.CENA=0.00 or O_PARPRC.CENA IS NULL) ";
constexpr const char* kSelectOrder =
    " ORDER BY O_PARPAV.DATUMS, O_PARPAV.ISNODALANO, O_PARPRC.ISPRECE, O_PARPRC.ISN ";
constexpr const char* kUpdateSql = "UPDATE O_PARPRC SET CENA=:CENA WHERE ISN=:ISN";

struct TransferLine {
  DateTime date;
  int dept;  // the sending department
  int goods;
  double quantity;
  int isn;
  double tax;
  int serial;
};

struct TransferFields {
  explicit TransferFields(const Query& q)
      : date(q.fieldIndex("DATUMS")), dept(q.fieldIndex("ISNODALA")), goods(q.fieldIndex("ISPRECE")),
        quantity(q.fieldIndex("DAUDZUMS")), isn(q.fieldIndex("ISN")), tax(q.fieldIndex("NODOKLIS")),
        serial(q.fieldIndex("ISSERTIF")) {}
  TransferLine read(const Query& q) const {
    return {q.asDateTime(date), q.asInteger(dept), q.asInteger(goods), q.asDouble(quantity),
            q.asInteger(isn),   q.asDouble(tax),   q.asInteger(serial)};
  }
  int date, dept, goods, quantity, isn, tax, serial;
};

// Serial price first, then first sale price, then last purchase price, then FIFO; the last two
// move the remembered line, only FIFO reuses it.
class TransferPricer {
 public:
  TransferPricer(RunContext& ctx, Query& update) : ctx_(ctx), update_(update) {}

  void price(const TransferLine& line) {
    const PriceRule rule = transferRuleFifo(ctx_.settings, line.serial, line.quantity);
    if (rule == PriceRule::Serial) {
      bind(SerialReceiptPrice(ctx_, line.goods, line.serial));
      return;
    }
    if (rule == PriceRule::FirstSalePrice) {
      bind(firstSalePriceWithoutTax(ctx_, line.goods, line.tax));
      return;
    }
    if (rule == PriceRule::LastPurchasePrice) {
      bind(ctx_.pricing.GetPedIepCena(line.goods, line.dept, 0, line.date));
    } else if (key_.matches(line.date, line.dept, line.goods)) {
      bind(key_.price());
    } else {
      const double day = DayQuantity(ctx_.state.sqlDienDaudzums, line.goods, line.dept, line.date);
      const double stock = StockQuantity(ctx_.pricing, line.goods, line.dept, line.date);
      bind(ctx_.pricing.GetPasizmaksa(line.goods, line.dept, line.date, stock, line.quantity, day, list_));
    }
    key_.remember(line.date, line.dept, line.goods, update_.paramDouble("CENA"));
  }

 private:
  void bind(double price) { update_.setDouble("CENA", finitePrice(price)); }

  RunContext& ctx_;
  Query& update_;
  LastPricedKey key_;
  std::vector<std::string> list_;  // the library's; never read here
};

}  // namespace

void AssignTransfersFifo(RunContext& ctx) {
  ctx.log.AddProcessLine(kHeading, false);
  ctx.log.AddProcessLine("", false);
  const int mode = ctx.settings.transfers;
  writeOperationEntry(ctx, kOperationLabel, kOperationKey, mode);
  Query update(ctx.db());
  if (mode == kAllAnew) {
    Query lines(ctx.db());
    resetLinesOneByOne(ctx, lines, update,
                       {kResetUpdateSql, kResetSelectSql + ctx.state.ServicesFilter, 1, false});
  }

  Query lines(ctx.db());
  lines.setTransaction(ctx.documents());
  lines.setSql(kSelectSql + ctx.state.ServicesFilter + kSelectOrder);
  update.setSql(kUpdateSql);
  TransferPricer pricer(ctx, update);
  bindPeriod(lines, ctx.settings);
  lines.open();
  const std::string total = std::to_string(lines.rowCount());
  const TransferFields fields(lines);
  const int held = lines.fieldIndex("CENA");
  int counter = 0;
  for (lines.first(); !lines.eof(); lines.next()) {
    ctx.log.AddProcessLine(std::to_string(counter) + "/" + total, true);
    ++counter;
    const TransferLine line = fields.read(lines);
    update.setInteger("ISN", line.isn);
    pricer.price(line);
    if (!HeldCost::of(lines, held).same(update.paramDouble("CENA"))) {
      update.execSql();
      ctx.commitIfActive();
    }
    stopPoint();
  }
  ctx.commitIfActive();
  ctx.log.AddProcessLine(kClosing, false);
}

}  // namespace talvix
