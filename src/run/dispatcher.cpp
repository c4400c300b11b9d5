#include "run/dispatcher.h"

namespace talvix {

void btPieskirsClick(RunContext& ctx) {
  if (ctx.host) ctx.host->SaveSettings();
}

}  // namespace talvix
