#pragma once
// Which days of a period are blocked in the suite (N_BLOKDIENAS), as the refusal names them beside
// its fixed text: runs of following days as one span, the first dozen spans and how many more.
#include "step/run_context.h"

#include <string>
#include <vector>

namespace talvix {

// The blocked days of ctx.settings' period, whole dates, each once, earliest first.
std::vector<DateTime> blockedDays(RunContext& ctx);
// "Bloķētās dienas: 03.12.2026, 05.12.2026–07.12.2026"; empty for no day.
std::string blockedDaysLine(const std::vector<DateTime>& days);

}  // namespace talvix
