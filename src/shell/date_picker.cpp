#include "shell/date_picker.h"

#include <cmath>

namespace talvix::shell {
namespace {

QDate toQDate(DateTime value) {
  if (!std::isfinite(value)) return QDate();
  int year = 0, month = 0, day = 0;
  decodeDate(value, year, month, day);
  return QDate(year, month, day);
}

}  // namespace

DatePicker::DatePicker(QWidget* parent) : QDateEdit(parent) {
  setCalendarPopup(true);
  setDisplayFormat(shortDateFormat(QLocale::system()));
  setMinimumDate(QDate(1899, 12, 30));
  connect(this, &QDateEdit::dateChanged, this, &DatePicker::takeDay);
  setValue(value_);
}

void DatePicker::setValue(DateTime value) {
  value_ = value;
  const QDate day = toQDate(value);
  if (!day.isValid()) return;
  settingValue_ = true;
  setDate(day);
  settingValue_ = false;
}

void DatePicker::takeDay(QDate day) {
  if (settingValue_ || !day.isValid()) return;
  const DateTime timeOfDay = value_ - wholeDate(value_);
  value_ = makeDate(day.year(), day.month(), day.day()) + timeOfDay;
}

bool DatePicker::focusNextPrevChild(bool next) { return QWidget::focusNextPrevChild(next); }

QString shortDateFormat(const QLocale& locale) {
  QString format = locale.dateFormat(QLocale::ShortFormat);
  if (!format.contains(QStringLiteral("yyyy"))) format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
  return format;
}

}  // namespace talvix::shell
