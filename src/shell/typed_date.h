#pragma once
// A day as people type it into a period picker: with any of . / - or blanks between the parts
// (01.08.2026, 1.8.2026, 1-8-26) or as digits alone (01082026, 010826), the parts in the order of
// the picker's display format; a two-digit year is in 2000-2099. Free of widgets.
#include <QDate>
#include <QString>

namespace talvix::shell {

enum class Typed {
  Day,      // a whole day the pickers hold
  Partial,  // could still become one as the person goes on typing
  Outside,  // a whole day, but outside the days the pickers hold
  Invalid,  // can never become one
};

struct TypedDay {
  Typed state;
  QDate day;  // for Day and Outside (Outside: invalid when no calendar has it)
};

// format: the picker's display format (shortDateFormat), which gives the order of day, month, year.
TypedDay readTypedDay(const QString& text, const QString& format);

// With the day first in the format, a day alone (12, or 1204 as day and month) or a day and month
// (12.4) take the rest from the day the picker shows; anything else comes back as it is.
QString completedFrom(const QString& typed, QDate shown, const QString& format);

}  // namespace talvix::shell
