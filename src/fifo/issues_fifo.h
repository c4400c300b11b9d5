#pragma once
// Issues (sales and write-offs) by FIFO, and the lookups other kinds share: the receipt price of a
// serial-numbered unit, the cost of an earlier sale to the same client, and the latest goods-balance
// cost before a date.
#include "step/run_context.h"

namespace talvix {

class Query;

void AssignIssuesFifo(RunContext& ctx);

// Purchase price of the receipt line of goods carrying serial record; 0.0 when there is none.
double SerialReceiptPrice(RunContext& ctx, int goods, int serial);
struct SerialReceipt {
  bool found = false;
  double price = 0.0;
};
// The same lookup, telling also whether a receipt line carries the record.
SerialReceipt FindSerialReceipt(RunContext& ctx, int goods, int serial);

// Cost of an issue of goods to client at salePrice (within 0.01), skipping the line being priced;
// else the latest goods-balance cost before date; else 0.0.
double ClientSaleCost(RunContext& ctx, int goods, int client, DateTime date, double salePrice, int pricedLine);
struct ClientSaleMatch {
  double cost = 0.0;
  int saleLine = 0;  // the matched issue line; 0 when the cost is the goods-balance fallback
};
// The same lookup, telling also which earlier sale matched.
ClientSaleMatch FindClientSale(RunContext& ctx, int goods, int client, DateTime date, double salePrice, int pricedLine);

// The non-zero cost on the latest goods-balance document of any department dated strictly before
// date; 0.0 when there is none. Runs on lookup, replacing its text.
double LatestBalanceCost(Query& lookup, int goods, DateTime date);

}  // namespace talvix
