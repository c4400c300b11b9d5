#pragma once
// A date picker (date only, the locale's short date, a drop-down calendar) that keeps the whole
// date-time it was given: choosing another day keeps the time of day, so the stored period keeps it.
// Tab leaves the picker rather than walking its day, month and year. A digit or separator typed
// into it starts a free text (over the selection, or over the whole day from its start) read as
// typed_date.h reads it when the person presses Enter or leaves the picker, or when a run takes the
// period; a day the pickers cannot hold is refused there, the picker showing its day again and
// saying why beside it. Escape drops the text.
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

  // Takes what was typed; false when it was refused (refusal() says why), true when nothing was
  // being typed or it was taken.
  bool takeTyped();
  bool typing() const { return typing_; }
  // The last refusal's text; empty after a day was taken.
  const QString& refusal() const { return refusal_; }

 signals:
  void refused(const QString& why);

 protected:
  bool focusNextPrevChild(bool next) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  QValidator::State validate(QString& text, int& pos) const override;
  void fixup(QString& text) const override;

 private:
  void takeDay(QDate day);
  bool typeKey(const QKeyEvent& event);
  void setTypedText(const QString& text, int cursor);
  void showDay();
  void refuse(const QString& why);

  DateTime value_ = 0;
  bool settingValue_ = false;
  bool typing_ = false;
  int typedCursor_ = 0;
  QString refusal_;
};

// The locale's short date format with a four-digit year, so a picked date cannot change century.
QString shortDateFormat(const QLocale& locale);

}  // namespace talvix::shell
