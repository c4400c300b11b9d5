#pragma once
// The loop the single-kind weighted-average steps share: every selected line gets its own price
// (the last purchase price when asked for, else the moving average with the step's two flags),
// bound as the step's cost parameter and written by the step's update. The select must hold ISN,
// ISPRECE, ISNODALA and DATUMS and be open.
#include "data/query.h"
#include "step/run_context.h"

namespace talvix {

// A weighted-average step's statements for one kind, as the step runs them.
struct AverageStepSql {
  DocumentKind kind;
  const char* select;  // the lines without cost; the services filter, where the step takes it, and order follow
  const char* order;   // empty: the lines come in the database's order
  const char* update;  // takes the cost parameter and :ISN
};

struct LineByLine {
  const char* costParameter;  // "CENA" or "IEP_CENA"
  bool transfer;              // the average's first flag
  bool singleKind;            // its second flag
  int firstCounter;           // the counter line's first number (0 or 1)
  bool repaintEachLine;       // repaint the window after every counter line
  bool commitEachLine;        // commit retaining after every line, else once after the loop
};

void priceLineByLine(RunContext& ctx, Query& select, Query& update, const LineByLine& how);

}  // namespace talvix
