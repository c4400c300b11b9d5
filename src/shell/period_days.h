#pragma once
// The days the period's pickers hold, and what typing a day into one does to the whole date-time it
// keeps: the day changes, the time of day stays. The pickers (date_picker.h) and the session that
// stands in for them without a window (run_session.h) both follow it. Free of widgets.
#include "data/date_time.h"

#include <QDate>

namespace talvix::shell {

// kFirstPeriodDay and kLastPeriodDay.
QDate firstPeriodDay();
QDate lastPeriodDay();
// Valid and between those two.
bool periodDayHeld(QDate day);

// The value's day; invalid for a value that is not finite.
QDate dayOf(DateTime value);
// The value with the day taken from day and the time of day kept.
DateTime withDay(DateTime value, QDate day);
// The value after day (one periodDayHeld takes) is typed over it: a picker shows its value's day
// within the range it holds, and typing the day it already shows changes nothing.
DateTime typedDay(DateTime value, QDate day);

}  // namespace talvix::shell
