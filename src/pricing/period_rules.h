#pragma once
// The default period (the month of a day) and whether a period holds a blocked day (N_BLOKDIENAS).
#include "data/connection.h"
#include "data/date_time.h"
#include "data/query.h"

namespace talvix::pricing {

class PeriodRules {
 public:
  explicit PeriodRules(Connection& connection);
  // The first and the last day of today's month.
  static DateTime firstDay(DateTime today);
  static DateTime lastDay(DateTime today);
  bool blocked(DateTime first, DateTime last);

 private:
  Query blockedDay_;
};

}  // namespace talvix::pricing
