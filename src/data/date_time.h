#pragma once
// Dates travel through the tool as doubles in the OLE Automation convention (whole days since
// 30 December 1899, the fraction being the time of day), as the registry stores them and as the
// pricing library's callers pass them.
#include <string>

namespace talvix {

using DateTime = double;

// The calendar day of a date-time, with the time of day dropped.
DateTime wholeDate(DateTime value);

DateTime makeDate(int year, int month, int day);
DateTime makeDateTime(int year, int month, int day, int hour, int minute, int second);
void decodeDate(DateTime value, int& year, int& month, int& day);

// The days a period may hold: the window's date pickers and the host's --period take these. A typed
// year such as 8202 is a slip of the fingers, not a period to price.
struct CalendarDay {
  int year, month, day;
};
inline constexpr CalendarDay kFirstPeriodDay{1900, 1, 1};
inline constexpr CalendarDay kLastPeriodDay{2099, 12, 31};

// Local wall-clock time now, and today's date without time.
DateTime nowLocal();
DateTime todayLocal();

// The short date text of the user's locale (LC_TIME), as the operation log records periods.
std::string formatShortDate(DateTime value);
// ISO form, for messages and tests: 2026-03-01 or 2026-03-01 14:05:09.
std::string formatIsoDate(DateTime value);

}  // namespace talvix
