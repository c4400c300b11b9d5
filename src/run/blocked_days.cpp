#include "run/blocked_days.h"

#include "data/query.h"
#include "step/line_reset.h"

#include <cstdio>

namespace talvix {
namespace {

constexpr const char* kBlockedDaysSql =
    "SELECT DISTINCT CAST(DATUMS AS DATE) DIENA FROM N_BLOKDIENAS WHERE DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ "
    "ORDER BY 1";
constexpr const char* kBlockedDaysHead = "Bloķētās dienas: ";
constexpr const char* kSpanDash = "–";
constexpr const char* kMoreSpans = " un vēl ";
constexpr std::size_t kSpansShown = 12;

std::string dayText(DateTime day) {
  int year = 0, month = 0, dayOfMonth = 0;
  decodeDate(day, year, month, dayOfMonth);
  char text[16];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d", dayOfMonth, month, year);
  return text;
}

}  // namespace

std::vector<DateTime> blockedDays(RunContext& ctx) {
  Query select(ctx.db());
  select.setSql(kBlockedDaysSql);
  bindPeriod(select, ctx.settings);
  select.open();
  std::vector<DateTime> days;
  const int day = select.fieldIndex("DIENA");
  for (select.first(); !select.eof(); select.next()) days.push_back(wholeDate(select.asDateTime(day)));
  return days;
}

std::string blockedDaysLine(const std::vector<DateTime>& days) {
  if (days.empty()) return {};
  std::vector<std::pair<DateTime, DateTime>> spans;
  for (const DateTime day : days) {
    if (!spans.empty() && day == spans.back().second + 1)
      spans.back().second = day;
    else
      spans.emplace_back(day, day);
  }
  std::string line = kBlockedDaysHead;
  for (std::size_t i = 0; i < spans.size() && i < kSpansShown; ++i) {
    const auto& [first, last] = spans[i];
    line += (i ? ", " : "") + dayText(first) + (last != first ? kSpanDash + dayText(last) : "");
  }
  if (spans.size() > kSpansShown) line += kMoreSpans + std::to_string(spans.size() - kSpansShown);
  return line;
}

}  // namespace talvix
