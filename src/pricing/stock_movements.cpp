#include "pricing/stock_movements.h"

#include "pricing/finite_price.h"
#include "pricing/movement_kinds.h"
#include "pricing/weighted_average.h"

#include <algorithm>
#include <cmath>

namespace talvix::pricing {
namespace {

void bind(Query& query, int goods, int dept, DateTime date) {
  const DateTime dayStart = wholeDate(date);
  query.setInteger("ISPRECE", goods);
  if (query.hasParameter("ISNODALA")) query.setInteger("ISNODALA", dept);
  if (query.hasParameter("DAY_START")) query.setDateTime("DAY_START", dayStart);
  query.setDateTime("DAY_END", dayStart + 1);
}

}  // namespace

StockMovements::StockMovements(Connection& connection)
    : layers_(connection),
      average_(connection),
      stock_(connection),
      balance_(connection),
      lastPrice_(connection),
      lastPriceInDept_(connection) {
  const ReaderStatements& sql = readerStatements();
  layers_.setSql(sql.layers);
  average_.setSql(sql.average);
  stock_.setSql(sql.stock);
  balance_.setSql(sql.balanceOnDay);
  lastPrice_.setSql(sql.lastPrice);
  lastPriceInDept_.setSql(sql.lastPriceInDept);
}

std::vector<Movement> StockMovements::read(Query& query, int goods, int dept, DateTime date) {
  bind(query, goods, dept, date);
  query.open();
  std::vector<Movement> movements;
  movements.reserve(static_cast<std::size_t>(query.rowCount()));
  for (query.first(); !query.eof(); query.next()) {
    Movement m;
    m.kind = static_cast<MovementKind>(query.asInteger(0));
    m.isn = query.asInteger(1);
    m.day = wholeDate(query.asDateTime(2));
    m.quantity = query.asDouble(3);
    m.cost = query.asDouble(4);
    movements.push_back(m);
  }
  query.close();
  return movements;
}

double StockMovements::sum(Query& query, int goods, int dept, DateTime date) {
  bind(query, goods, dept, date);
  query.open();
  double total = 0.0;
  for (query.first(); !query.eof(); query.next()) total += query.asDouble(0);
  query.close();
  return finitePrice(total);
}

std::vector<Movement> StockMovements::layers(int goods, int dept, DateTime date) {
  std::vector<Movement> found = read(layers_, goods, dept, date);
  std::sort(found.begin(), found.end(), newerFirst);
  return found;
}

std::vector<Movement> StockMovements::averageMovements(int goods, int dept, DateTime date) {
  return read(average_, goods, dept, date);
}

MovementSource::FifoWalk StockMovements::fifoWalk(int goods, int dept, DateTime date, double stock, double quantity,
                                                  double dayQuantity) {
  walked_ = layers(goods, dept, date);
  return {walked_, fifoTaking(walked_, stock, quantity, dayQuantity)};
}

DateTime StockMovements::newestLayerDay(int goods, int dept, DateTime date) {
  const std::vector<Movement> found = layers(goods, dept, date);
  return found.empty() ? 0 : found.front().day;
}

double StockMovements::movingAverage(int goods, int dept, DateTime date) {
  return movingAverageCost(averageMovements(goods, dept, date));
}

double StockMovements::stockBeforeOutflows(int goods, int dept, DateTime date) {
  return sum(stock_, goods, dept, date);
}

double StockMovements::balanceOnDay(int goods, int dept, DateTime date) {
  return sum(balance_, goods, dept, date);
}

double StockMovements::lastReceiptPrice(int goods, int dept, bool everyDepartment, DateTime date) {
  Query& query = everyDepartment ? lastPrice_ : lastPriceInDept_;
  bind(query, goods, dept, date);
  query.open();
  const double price = query.eof() ? 0.0 : query.asDouble(0);
  query.close();
  return finitePrice(price);
}

}  // namespace talvix::pricing
