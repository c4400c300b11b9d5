#include "step/kind_pass.h"

namespace talvix {

void runAlone(RunContext& ctx, KindPass& pass) {
  pass.begin(true);
  ProgressCounter counter(ctx.log, pass.firstCounter(), pass.size());
  for (std::size_t first = 0; first < pass.size();) {
    const std::size_t end = pass.unitEnd(first);
    ctx.reach.day = pass.line(first).date;
    pass.price(first, end, counter);
    first = end;
  }
  pass.end();
}

void writeHeading(RunContext& ctx, const char* heading, bool blankLineAfter, bool alone, bool resetCounts) {
  ctx.log.AddProcessLine(heading, false);
  if (alone ? blankLineAfter : resetCounts) ctx.log.AddProcessLine("", false);
}

}  // namespace talvix
