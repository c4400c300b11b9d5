#include "shell/date_picker.h"

#include "shell/period_days.h"

namespace talvix::shell {

DatePicker::DatePicker(QWidget* parent) : QDateEdit(parent) {
  setCalendarPopup(true);
  setDisplayFormat(shortDateFormat(QLocale::system()));
  setDateRange(firstPeriodDay(), lastPeriodDay());
  connect(this, &QDateEdit::dateChanged, this, &DatePicker::takeDay);
  setValue(value_);
}

void DatePicker::setValue(DateTime value) {
  value_ = value;
  const QDate day = dayOf(value);
  if (!day.isValid()) return;
  settingValue_ = true;
  setDate(day);
  settingValue_ = false;
}

void DatePicker::takeDay(QDate day) {
  if (settingValue_ || !day.isValid()) return;
  value_ = withDay(value_, day);
}

bool DatePicker::focusNextPrevChild(bool next) { return QWidget::focusNextPrevChild(next); }

QString shortDateFormat(const QLocale& locale) {
  QString format = locale.dateFormat(QLocale::ShortFormat);
  if (!format.contains(QStringLiteral("yyyy"))) format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
  return format;
}

}  // namespace talvix::shell
