#include "step/operation_entry.h"

namespace talvix {

void writeOperationEntry(RunContext& ctx, const std::string& label, const std::string& keyText, int mode) {
  if (ctx.preview) return;  // the entry commits in a transaction of its own
  ctx.pricing.PutInOperacija(label, todayLocal(), "", keyText + std::to_string(mode), 0, periodLogText(ctx.settings),
                             nullptr, 0);
}

}  // namespace talvix
