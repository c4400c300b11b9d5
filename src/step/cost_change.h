#pragma once
// One line whose cost a run would change, as a preview reports it: the line, the cost it holds now
// (0.0 for NULL) and the one the run gives it.
#include "data/date_time.h"
#include "data/document_tables.h"

#include <deque>
#include <string>

namespace talvix {

struct CostChange {
  DocumentKind kind;
  DateTime date;
  int dept;  // a transfer's sending department
  int goods;
  std::string goodsName;
  double quantity;
  int isn;
  double costNow;
  double costAfter;

  double valueChange() const { return quantity * (costAfter - costNow); }
};

// A run's changes in run order; a year's grow without doubling.
using CostChanges = std::deque<CostChange>;

}  // namespace talvix
