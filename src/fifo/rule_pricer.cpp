#include "fifo/rule_pricer.h"

#include "ledger/stock_quantity.h"
#include "pricing/finite_price.h"
#include "step/price_lookups.h"

namespace talvix {

PricedLine RulePricer::price(const DocumentLine& l) {
  switch (rules_.rule(ctx_.settings, l.serial, l.quantity)) {
    case PriceRule::Serial: return {finitePrice(findSerialReceipt(lookup_, l.goods, l.serial).price), true};
    case PriceRule::FirstSalePrice: return {finitePrice(firstSalePriceWithoutTax(ctx_, l.goods, l.tax)), true};
    case PriceRule::LastPurchasePrice: {
      const double price = finitePrice(ctx_.pricing.GetPedIepCena(l.goods, l.dept, 0, l.date));
      return {rules_.lastPurchaseMovesKey ? remembered(l, price) : price, true};
    }
    case PriceRule::ClientSale: {
      // Without a sale at the price, the latest goods-balance cost.
      const ClientSale sale = askClientSale(ctx_, lookup_,
                                            {.order = ClientSales::EarliestFirst,
                                             .goods = l.goods,
                                             .client = l.client,
                                             .date = l.date,
                                             .wanted = salePrice(l.price, l.markup),
                                             .pricedLine = l.isn})
                                  .sale;
      const double cost = sale.found ? sale.cost : latestBalanceCost(lookup_, l.goods, l.date, ctx_.writtenCosts());
      return {remembered(l, finitePrice(cost)), true};
    }
    default: return {remembered(l, key_.matches(l.date, l.dept, l.goods) ? key_.price() : fifo(l)), true};
  }
}

double RulePricer::fifo(const DocumentLine& l) {
  const double day = DayQuantity(ctx_.state.*rules_.dayQuantities, l.goods, l.dept, l.date);
  const double stock = rules_.stockFromLedger ? StockQuantity(ctx_.pricing, l.goods, l.dept, l.date, ctx_.documents()) : 0.0;
  list_.clear();
  return finitePrice(ctx_.pricing.GetPasizmaksa(l.goods, l.dept, l.date, stock, l.quantity, day, list_));
}

double RulePricer::remembered(const DocumentLine& l, double price) {
  key_.remember(l.date, l.dept, l.goods, price);
  return price;
}

}  // namespace talvix
