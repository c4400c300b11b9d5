#pragma once
// Where the pricing library's answers come from: the movements of one goods in one department up
// to a day. The database reader (stock_movements.h) asks the database on every call; the movement
// cache (movement_cache.h) keeps what it read and answers the same, bit for bit.
#include "data/client_sale.h"
#include "data/date_time.h"
#include "pricing/fifo_cost.h"
#include "pricing/movement.h"

#include <optional>
#include <span>

namespace talvix::pricing {

class MovementSource {
 public:
  virtual ~MovementSource() = default;

  // An outflow's FIFO walk (fifoTaking) over the layers dated on or before day(date), newest
  // first; the layers stay valid until the next call.
  struct FifoWalk {
    std::span<const Movement> layers;
    FifoTaking taking;
  };
  virtual FifoWalk fifoWalk(int goods, int dept, DateTime date, double stock, double quantity,
                            double dayQuantity) = 0;
  // The day of the newest layer dated on or before day(date); 0 when there is none.
  virtual DateTime newestLayerDay(int goods, int dept, DateTime date) = 0;
  // movingAverageCost of the movements the average counts, dated on or before day(date).
  virtual double movingAverage(int goods, int dept, DateTime date) = 0;
  // StockMovements' namesakes.
  virtual double stockBeforeOutflows(int goods, int dept, DateTime date) = 0;
  virtual double balanceOnDay(int goods, int dept, DateTime date) = 0;
  virtual double lastReceiptPrice(int goods, int dept, bool everyDepartment, DateTime date) = 0;
  // PricingLibrary::NextStockIn and ClientSaleFromHistory: nullopt from a source that keeps no
  // movements.
  virtual std::optional<DateTime> nextStockIn(int goods, int dept, DateTime date) = 0;
  virtual std::optional<ClientSaleAnswer> clientSale(const ClientSaleQuestion& question) = 0;
};

}  // namespace talvix::pricing
