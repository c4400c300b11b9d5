#include "shell/period_days.h"

#include <algorithm>
#include <cmath>

namespace talvix::shell {

QDate firstPeriodDay() { return QDate(kFirstPeriodDay.year, kFirstPeriodDay.month, kFirstPeriodDay.day); }

QDate lastPeriodDay() { return QDate(kLastPeriodDay.year, kLastPeriodDay.month, kLastPeriodDay.day); }

bool periodDayHeld(QDate day) { return day.isValid() && day >= firstPeriodDay() && day <= lastPeriodDay(); }

QDate dayOf(DateTime value) {
  if (!std::isfinite(value)) return QDate();
  int year = 0, month = 0, day = 0;
  decodeDate(value, year, month, day);
  return QDate(year, month, day);
}

DateTime withDay(DateTime value, QDate day) {
  const DateTime timeOfDay = value - wholeDate(value);
  return makeDate(day.year(), day.month(), day.day()) + timeOfDay;
}

DateTime typedDay(DateTime value, QDate day) {
  const QDate own = dayOf(value);
  if (own.isValid() && std::clamp(own, firstPeriodDay(), lastPeriodDay()) == day) return value;
  return withDay(value, day);
}

}  // namespace talvix::shell
