#pragma once
// The date, department, goods and price of the last line a FIFO step priced from the library (or
// from this key). A following line with the same three takes the price without a new call. Empty
// at the start of a step: the first line never matches. Dates match only as equal date-time values.
#include "data/date_time.h"

namespace talvix {

class LastPricedKey {
 public:
  bool matches(DateTime date, int dept, int goods) const {
    return set_ && date == date_ && dept == dept_ && goods == goods_;
  }
  double price() const { return price_; }
  void remember(DateTime date, int dept, int goods, double price) {
    set_ = true;
    date_ = date;
    dept_ = dept;
    goods_ = goods;
    price_ = price;
  }

 private:
  bool set_ = false;
  DateTime date_ = 0;
  int dept_ = 0;
  int goods_ = 0;
  double price_ = 0.0;
};

}  // namespace talvix
