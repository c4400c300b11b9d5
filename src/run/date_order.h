#pragma once
// Prices the lines of a run's kinds together, day by day, so that every line is priced when every
// line dated before it already holds its final cost. Within a day the lines of one goods follow
// what they read: a line that takes a department's stock (its FIFO layers or moving average) comes
// after the day's lines that bring costed stock into that department (transfers in, returns, goods
// balances); a return, or an issue bringing goods back, after the day's sales to the same client at
// the same price; a return after the goods balances dated earlier that day. Where lines read each
// other, the kinds' run order decides and the one priced first sees the other without its cost.
#include "step/kind_pass.h"
#include "step/price_rule.h"
#include "step/run_context.h"

#include <memory>
#include <vector>

namespace talvix {

// passes in the run's order of kinds. One pass runs alone, as its kind's step always has; several
// write their headings, one counter "n/total" over all their lines, then their closing lines.
void priceInDateOrder(RunContext& ctx, const std::vector<std::unique_ptr<KindPass>>& passes, StockMethod method);

}  // namespace talvix
