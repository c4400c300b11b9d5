#pragma once
// A date picker (date only, the locale's short date, a drop-down calendar) that keeps the whole
// date-time it was given: choosing another day keeps the time of day, so the stored period keeps it.
// Tab leaves the picker rather than walking its day, month and year.
#include "data/date_time.h"

#include <QDateEdit>
#include <QLocale>

namespace talvix::shell {

class DatePicker : public QDateEdit {
  Q_OBJECT

 public:
  explicit DatePicker(QWidget* parent);

  DateTime value() const { return value_; }
  void setValue(DateTime value);

 protected:
  bool focusNextPrevChild(bool next) override;

 private:
  void takeDay(QDate day);

  DateTime value_ = 0;
  bool settingValue_ = false;
};

// The locale's short date format with a four-digit year, so a picked date cannot change century.
QString shortDateFormat(const QLocale& locale);

}  // namespace talvix::shell
