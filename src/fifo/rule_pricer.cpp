#include "fifo/rule_pricer.h"

namespace talvix {

PricedLine RulePricer::price(const DocumentLine& l) {
  const PriceRule rule = decider_.rule(l);
  switch (rule) {
    case PriceRule::Serial:
    case PriceRule::FirstSalePrice: return {decider_.decide(l, rule).price, true};
    case PriceRule::LastPurchasePrice: {
      const double price = decider_.decide(l, rule).price;
      return {rules_.lastPurchaseMovesKey ? remembered(l, price) : price, true};
    }
    case PriceRule::ClientSale: return {remembered(l, decider_.decide(l, rule).price), true};
    case PriceRule::NotProcessed:
    case PriceRule::Fifo:
    case PriceRule::BalanceStage:
    case PriceRule::WeightedAverage: break;
  }
  return {remembered(l, key_.matches(l.date, l.dept, l.goods) ? key_.price() : decider_.decide(l, rule).price), true};
}

double RulePricer::remembered(const DocumentLine& l, double price) {
  key_.remember(l.date, l.dept, l.goods, price);
  return price;
}

}  // namespace talvix
