#include "fifo/returns.h"

#include "data/query.h"
#include "fifo/fifo_rules.h"
#include "fifo/fifo_step.h"
#include "pricing/finite_price.h"
#include "step/price_lookups.h"

namespace talvix {

constexpr FifoStep kReturnsStep{
    .kind = DocumentKind::Return,
    .heading = "Aprēķinu atgriešanu ...",
    .blankLineAfterHeading = false,
    .operationLabel = "IEP.SAD.",
    .operationKey = "ATGR=",
    .reset = {.kind = DocumentKind::Return,
              .selectSql =
                  "SELECT O_ATGPRC.ISN FROM O_ATGPAV, "
                  "O_ATGPRC, N_KLPREC WHERE O_ATGPAV.ISN = O_ATGPRC.ISATGPAV AND O_ATGPRC.ISPRECE = N_KLPREC.ISN "
                  "AND O_ATGPAV.FROM_WHAT != 1 AND O_ATGPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ",
              .oneStatement = true,
              .firstCounter = 0,
              .repaintEachLine = false,
              .stopAfterOneStatement = false},
    .selectSql =
        "SELECT O_ATGPRC.ISN, O_ATGPRC.IEP_CENA, O_ATGPAV.DATUMS, O_ATGPAV.ISNODALA, O_ATGPRC.ISPRECE, "
        "O_ATGPRC.DAUDZUMS, O_ATGPRC.ISN, O_ATGPAV.ISKLIENT, O_ATGPAV.FROM_WHAT, O_ATGPRC.CENA, "
        "O_ATGPRC.PIECENOJ, O_ATGPRC.ISSERTIF FROM O_ATGPAV, O_ATGPRC, N_KLPREC WHERE "
        "O_ATGPAV.ISN = O_ATGPRC.ISATGPAV AND O_ATGPRC.ISPRECE = N_KLPREC.ISN AND "
        "O_ATGPAV.DATUMS >=:DAT_NO AND O_ATGPAV.DATUMS <=:DAT_LIDZ AND "
        "(O_ATGPRC.IEP_CENA=0.00 OR O_ATGPRC.IEP_CENA IS NULL)",
    .selectOrder = "",
    .updateSql = "UPDATE O_ATGPRC SET IEP_CENA=:IEP_CENA WHERE ISN=:ISN",
    .costParameter = "IEP_CENA",
    .salePriceColumn = "CENA",
    .firstCounter = 1,
    .commitAfterLoop = true,
    .closing = nullptr,
    .unitsByKey = false,
};

namespace {

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

// A cost from the client's sale is committed at once; the fallback waits for a later commit.
class ReturnPricer : public FifoPricer {
 public:
  explicit ReturnPricer(RunContext& ctx) : ctx_(ctx), lookup_(ctx.db()) { lookup_.setTransaction(ctx.documents()); }
  bool leavesAlone(const DocumentLine& line) const override { return !returnPricedHere(line); }
  PricedLine price(const DocumentLine& line) override {
    const ReturnCost cost = FindReturnCost(ctx_, lookup_, line);
    return {finitePrice(cost.price), cost.rule != PriceRule::BalanceStage};
  }

 private:
  RunContext& ctx_;
  Query lookup_;
};

}  // namespace

std::unique_ptr<KindPass> returnsPass(RunContext& ctx) {
  return std::make_unique<FifoPass>(ctx, kReturnsStep, std::make_unique<ReturnPricer>(ctx));
}

void AssignReturns(RunContext& ctx) { runAlone(ctx, *returnsPass(ctx)); }

bool returnPricedHere(const DocumentLine& line) { return line.origin != kUntouchedOrigin; }

ReturnCost FindReturnCost(RunContext& ctx, Query& lookup, const DocumentLine& line) {
  ReturnCost cost;
  if (fromClientSale(ctx, lookup, line, cost)) return cost;
  cost.price = latestBalanceCost(lookup, line.goods, line.date, ctx.writtenCosts());
  if (cost.price == 0.0) cost.price = latestReceiptPrice(lookup, line.goods, line.date);
  return cost;
}

}  // namespace talvix
