#pragma once
// Binding a run's period, and the reset that sets the cost of every selected line to 0.0 one line
// at a time, each committed, while the last progress line counts "Dzēšu n".
#include "data/query.h"
#include "step/run_context.h"

#include <string>

namespace talvix {

// DAT_NO and DAT_LIDZ as the period's whole dates.
void bindPeriod(Query& query, const RunSettings& settings);

struct LineReset {
  const char* updateSql;   // takes :ISN
  std::string selectSql;   // selects ISN, takes the period
  int firstCounter;        // the first "Dzēšu n"
  bool repaintEachLine;    // repaint the window after every counter line
};

void resetLinesOneByOne(RunContext& ctx, Query& select, Query& update, const LineReset& reset);

}  // namespace talvix
