#include "step/price_decision.h"

#include <gtest/gtest.h>

namespace talvix {
namespace {

// Which source the kinds' rows pick first when several options hold at once.
struct RuleRow {
  const char* name;
  bool firstSale, lastPrice, serialLookup;
  int serial;
  double quantity;
  PriceRule transfer, issue, balance;
};

constexpr RuleRow kRules[] = {
    {"no option", false, false, false, 0, 2.0, PriceRule::Fifo, PriceRule::Fifo, PriceRule::Fifo},
    {"a negative issue line", false, false, false, 0, -1.0, PriceRule::Fifo, PriceRule::ClientSale, PriceRule::Fifo},
    {"last price over a negative line", false, true, false, 0, -1.0, PriceRule::LastPurchasePrice,
     PriceRule::LastPurchasePrice, PriceRule::LastPurchasePrice},
    {"serial unit", false, true, true, 11, 1.0, PriceRule::Serial, PriceRule::Serial, PriceRule::Serial},
    {"serial record 10 is plain", false, false, true, 10, 1.0, PriceRule::Fifo, PriceRule::Fifo, PriceRule::Fifo},
    {"serial needs exactly one unit", false, false, true, 11, 2.0, PriceRule::Fifo, PriceRule::Fifo, PriceRule::Fifo},
    {"first sale and serial", true, true, true, 11, 1.0, PriceRule::Serial, PriceRule::FirstSalePrice,
     PriceRule::Serial},
    {"first sale and last price", true, true, false, 0, 2.0, PriceRule::FirstSalePrice, PriceRule::FirstSalePrice,
     PriceRule::LastPurchasePrice},
};

TEST(FifoRule, EachKindsRowTriesItsSourcesInItsOrder) {
  for (const RuleRow& row : kRules) {
    SCOPED_TRACE(row.name);
    RunSettings s;
    s.firstSalePrice = row.firstSale;
    s.lastPurchasePrice = row.lastPrice;
    s.serialLookup = row.serialLookup;
    EXPECT_EQ(fifoRule(DocumentKind::Transfer, s, row.serial, row.quantity), row.transfer);
    EXPECT_EQ(fifoRule(DocumentKind::Issue, s, row.serial, row.quantity), row.issue);
    EXPECT_EQ(fifoRule(DocumentKind::Balance, s, row.serial, row.quantity), row.balance);
    EXPECT_EQ(fifoRule(DocumentKind::Return, s, row.serial, row.quantity), PriceRule::NotProcessed);
  }
}

}  // namespace
}  // namespace talvix
