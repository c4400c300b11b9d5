#include "fifo/balances_fifo.h"

#include "data/query.h"
#include "fifo/fifo_rules.h"
#include "fifo/issues_fifo.h"
#include "fifo/last_priced_key.h"
#include "step/finite_price.h"
#include "step/held_cost.h"
#include "step/line_reset.h"
#include "step/operation_entry.h"
#include "step/stop_request.h"

#include <string>
#include <vector>

namespace talvix {

namespace {

constexpr const char* kHeading = "Aprēķinu pašizmaksu atlikumiem ...";
constexpr const char* kClosing = "Pašizmaksa atlikumiem piešķirta";
constexpr const char* kOperationLabel = "AUTO IEP.SAD.";
constexpr const char* kOperationKey = "ATLIK=";

constexpr const char* kResetSql =
    "UPDATE O_PRATL_PRC SET O_PRATL_PRC.IEP_CENA=0.0 WHERE ISN IN (SELECT O_PRATL_PRC.ISN FROM O_PRATL_PAV, "
    "O_PRATL_PRC, N_KLPREC WHERE O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV AND O_PRATL_PRC.ISPRECE = N_KLPREC.ISN "
    "AND O_PRATL_PAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ";
constexpr const char* kSelectSql =
    "SELECT O_PRATL_PRC.IEP_CENA, O_PRATL_PAV.DATUMS, O_PRATL_PAV.ISNODALA, O_PRATL_PRC.ISPRECE, "
    "O_PRATL_PRC.DAUDZUMS, O_PRATL_PRC.ISN, O_PRATL_PRC.ISSERTIF FROM O_PRATL_PAV, O_PRATL_PRC, N_KLPREC WHERE "
    "O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV AND O_PRATL_PRC.ISPRECE = N_KLPREC.ISN AND "
    "O_PRATL_PAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ AND (O_PRATL_PRC.IEP_CENA=0.00 OR O_PRATL_PRC.IEP_CENA IS NULL) ";
constexpr const char* kSelectOrder =
    " ORDER BY O_PRATL_PAV.DATUMS, O_PRATL_PAV.ISNODALA, O_PRATL_PRC.ISPRECE, O_PRATL_PRC.ISN ";
constexpr const char* kUpdateSql = "UPDATE O_PRATL_PRC SET IEP_CENA = :IEP_CENA WHERE ISN=:ISN";

// The stock figure passed for a goods-balance line: the document itself states the stock.
constexpr double kBalanceStock = 0.0;

struct BalanceLine {
  DateTime date;
  int dept;
  int goods;
  double quantity;
  int isn;
  int serial;
};

struct BalanceFields {
  explicit BalanceFields(const Query& q)
      : date(q.fieldIndex("DATUMS")), dept(q.fieldIndex("ISNODALA")), goods(q.fieldIndex("ISPRECE")),
        quantity(q.fieldIndex("DAUDZUMS")), isn(q.fieldIndex("ISN")), serial(q.fieldIndex("ISSERTIF")) {}
  BalanceLine read(const Query& q) const {
    return {q.asDateTime(date), q.asInteger(dept), q.asInteger(goods),
            q.asDouble(quantity), q.asInteger(isn), q.asInteger(serial)};
  }
  int date, dept, goods, quantity, isn, serial;
};

// Serial price, then last purchase price, then FIFO with the remembered line.
class BalancePricer {
 public:
  BalancePricer(RunContext& ctx, Query& update) : ctx_(ctx), update_(update) {}

  void price(const BalanceLine& line) {
    const PriceRule rule = balanceRuleFifo(ctx_.settings, line.serial, line.quantity);
    if (rule == PriceRule::Serial) {
      bind(SerialReceiptPrice(ctx_, line.goods, line.serial));
    } else if (rule == PriceRule::LastPurchasePrice) {
      bind(ctx_.pricing.GetPedIepCena(line.goods, line.dept, 0, line.date));
    } else {
      if (key_.matches(line.date, line.dept, line.goods)) {
        bind(key_.price());
      } else {
        const double day = DayQuantity(ctx_.state.sqlDienDaudzAtlikumi, line.goods, line.dept, line.date);
        bind(ctx_.pricing.GetPasizmaksa(line.goods, line.dept, line.date, kBalanceStock, line.quantity, day, list_));
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

void AssignBalancesFifo(RunContext& ctx) {
  ctx.log.AddProcessLine(kHeading, false);
  ctx.log.AddProcessLine("", false);
  const int mode = ctx.settings.balances;
  writeOperationEntry(ctx, kOperationLabel, kOperationKey, mode);
  Query lines(ctx.db());
  if (mode == kAllAnew) {
    lines.setSql(std::string(kResetSql) + " " + ctx.state.ServicesFilter + ") ");
    bindPeriod(lines, ctx.settings);
    lines.execSql();
    ctx.commitIfActive();
  }

  Query update(ctx.db());
  update.setSql(kUpdateSql);
  BalancePricer pricer(ctx, update);
  lines.close();
  lines.setTransaction(ctx.documents());
  lines.setSql(kSelectSql + ctx.state.ServicesFilter + kSelectOrder);
  bindPeriod(lines, ctx.settings);
  lines.open();
  const std::string total = std::to_string(lines.rowCount());
  const BalanceFields fields(lines);
  const int held = lines.fieldIndex("IEP_CENA");
  int counter = 1;
  for (lines.first(); !lines.eof(); lines.next()) {
    ctx.log.AddProcessLine(std::to_string(counter) + "/" + total, true);
    ++counter;
    const BalanceLine line = fields.read(lines);
    update.setInteger("ISN", line.isn);
    pricer.price(line);
    if (!HeldCost::of(lines, held).same(update.paramDouble("IEP_CENA"))) {
      update.execSql();
      ctx.commitIfActive();
    }
    stopPoint();
  }
  ctx.log.AddProcessLine(kClosing, false);
}

}  // namespace talvix
