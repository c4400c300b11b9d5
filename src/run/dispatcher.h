#pragma once
// The costing run, behind the window's assign button and autoiepcensad-run: refuse a blocked
// period, save the settings, read the database's costing method, then either repeat FIFO passes
// (recovering from database errors by itself) or run the weighted average once after the 100-day
// rule. Each FIFO pass and the weighted-average run price only in their turn (PricingTurn), so
// several runs on one database take turns.
#include "step/run_context.h"

namespace talvix {

// Needs ctx.host. Runs ctx.settings with their run modes (runMode); the host saves its own. Returns
// when a check refuses, after a weighted-average run, or after a FIFO pass with a kind in mode 2; a
// continuous FIFO run returns only when a stop is requested during it (one from before is dropped).
void runCosting(RunContext& ctx);

// The checks a run makes before it prices: true, with the message shown through ctx.host, when the
// period has blocked days (unless the database skips the check), or when a weighted-average period
// is over 100 days.
bool refuseBlockedPeriod(RunContext& ctx);
bool refuseLongAveragePeriod(RunContext& ctx);

// Whether the database values stock by FIFO (N_ISI.ISIFIFO 1), else by weighted average.
bool fifoCosting(RunContext& ctx);
// The statement fifoCosting reads the method with.
inline constexpr const char* kMethodSql = "SELECT ISIFIFO FROM N_ISI";

}  // namespace talvix
