#pragma once
// Reads what the prices are computed from: one goods' movements and stock figures in one
// department up to a day. Every statement is prepared once and re-executed in the connection's
// default transaction, so it sees what the tool wrote and has not committed yet. Each lookup
// starts from the lines of the goods (indexed by ISPRECE) and filters their headers by
// department and date.
#include "data/connection.h"
#include "data/query.h"
#include "pricing/movement.h"
#include "pricing/movement_source.h"

#include <vector>

namespace talvix::pricing {

class StockMovements : public MovementSource {
 public:
  explicit StockMovements(Connection& connection);

  FifoWalk fifoWalk(int goods, int dept, DateTime date, double stock, double quantity, double dayQuantity) override;
  DateTime newestLayerDay(int goods, int dept, DateTime date) override;
  double movingAverage(int goods, int dept, DateTime date) override;
  // Keeps no movements.
  std::optional<DateTime> nextStockIn(int, int, DateTime) override { return std::nullopt; }
  std::optional<ClientSaleAnswer> clientSale(const ClientSaleQuestion&) override { return std::nullopt; }

  // Layers (inflows with quantity > 0 and cost > 0) dated on or before day(date), newest first.
  std::vector<Movement> layers(int goods, int dept, DateTime date);
  // The inflows the moving average counts and every outflow, dated on or before day(date).
  std::vector<Movement> averageMovements(int goods, int dept, DateTime date);
  // Inflows before day(date) plus the day's receipts, transfers in and returns, minus outflows
  // before day(date); every line by its quantity.
  double stockBeforeOutflows(int goods, int dept, DateTime date) override;
  // Summed quantity of confirmed goods-balance lines dated on day(date).
  double balanceOnDay(int goods, int dept, DateTime date) override;
  // Effective price of the latest receipt line whose price is not 0, dated on or before
  // day(date), in every department or only in dept; 0.0 when there is none.
  double lastReceiptPrice(int goods, int dept, bool everyDepartment, DateTime date) override;

 private:
  std::vector<Movement> read(Query& query, int goods, int dept, DateTime date);
  double sum(Query& query, int goods, int dept, DateTime date);

  Query layers_;
  Query average_;
  Query stock_;
  Query balance_;
  Query lastPrice_;
  Query lastPriceInDept_;
  std::vector<Movement> walked_;  // the layers of the last FIFO walk
};

}  // namespace talvix::pricing
