#pragma once
// A realistic, reproducible stock history for a demo or benchmark database: goods (some of them
// services, some sold as serial-numbered single units), departments, receipts at drifting prices,
// transfers from the central warehouse, sales with some negative lines, client returns, one opening
// goods-balance document per department and a few blocked days before the period of interest.
// The same seed and sizes always give the same database.
#include "data/date_time.h"

#include <cstdint>
#include <string>

namespace talvix::demo {

struct HistoryShape {
  std::uint64_t seed = 20261207;
  int goods = 200;
  int departments = 4;
  int days = 90;           // the history ends on lastDay
  long lines = 12000;      // document lines wanted, about
  DateTime lastDay = 0;    // 0: today
  int fifoMethod = 1;      // N_ISI.ISIFIFO
  double servicesShare = 0.05;
  double serialShare = 0.03;
};

struct HistoryCounts {
  long receipts = 0, transfers = 0, issues = 0, returns = 0, balances = 0;
  long total() const { return receipts + transfers + issues + returns + balances; }
};

// Creates databaseName from the schema and fills it. Throws DbError on any database failure.
HistoryCounts makeDemoDatabase(const std::string& databaseName, const HistoryShape& shape);

}  // namespace talvix::demo
