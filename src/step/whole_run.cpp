#include "step/whole_run.h"

#include <exception>

namespace talvix {

WholeRun::WholeRun(RunContext& ctx) : ctx_(ctx) {
  if (!ctx.settings.anyAllAnew() || ctx.preview) return;
  ctx.commitIfActive();  // nothing of before the run rides on its commit
  ctx.reach.wholeRun = true;
}

WholeRun::~WholeRun() {
  if (!ctx_.reach.wholeRun) return;
  ctx_.reach.wholeRun = false;
  try {
    ctx_.tran().deactivate();
  } catch (const std::exception&) {
    // A dead connection: the server rolls the transaction back itself.
  }
}

void WholeRun::commit() {
  if (!ctx_.reach.wholeRun) return;
  ctx_.reach.wholeRun = false;
  ctx_.commitIfActive();
}

}  // namespace talvix
