#pragma once
// A random but plausible stock history written into a new database in one transaction: many goods
// moving between a few departments over a year, plus goods whose histories have fixed lengths.
// Stock never goes negative and every inflow is priced, as after the tool has run.
#include "data/date_time.h"

#include <string>
#include <vector>

namespace talvix::bench {

// A goods, a department and a day on which the goods left it: what the tool prices.
struct PricedDay {
  int goods;
  int dept;
  DateTime date;
};

struct StockHistory {
  int movements = 0;           // lines written
  std::vector<PricedDay> outflowDays;
  // For each fixed length: a goods with that many movements, all in department 1.
  std::vector<std::pair<int, int>> lengthToGoods;
  DateTime lastDay = 0;
};

// Creates the database at path and fills it with about `movements` lines, `fixedLengths` included.
StockHistory writeStockHistory(const std::string& path, int movements, const std::vector<int>& fixedLengths,
                               unsigned seed);

}  // namespace talvix::bench
