#include "shell/date_picker.h"

#include "shell/period_days.h"
#include "shell/typed_date.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QToolTip>

#include <algorithm>

namespace talvix::shell {
namespace {

constexpr char kOutside[] = "Datums %1 nav no %2 līdz %3";
constexpr char kNotADay[] = "\"%1\" nav datums; raksta, piemēram, %2";

bool startsTyping(const QString& text) {
  if (text.size() != 1) return false;
  const QChar c = text.front();
  return c.isDigit() || c == u'.' || c == u'/' || c == u'-' || c == u' ';
}

}  // namespace

DatePicker::DatePicker(QWidget* parent) : QDateEdit(parent) {
  setCalendarPopup(true);
  setDisplayFormat(shortDateFormat(QLocale::system()));
  setDateRange(firstPeriodDay(), lastPeriodDay());
  connect(this, &QDateEdit::dateChanged, this, &DatePicker::takeDay);
  setValue(value_);
}

void DatePicker::setValue(DateTime value) {
  typing_ = false;
  value_ = value;
  const QDate day = dayOf(value);
  if (!day.isValid()) return;
  settingValue_ = true;
  setDate(day);
  settingValue_ = false;
  showDay();
}

void DatePicker::takeDay(QDate day) {
  typing_ = false;  // the calendar or the arrows chose a day over the text
  if (settingValue_ || !day.isValid()) return;
  value_ = withDay(value_, day);
}

// The spin box's own reading of the text is kept out of the way while the person types: it would
// jump between the format's sections and put the day back at every step.
void DatePicker::setTypedText(const QString& text, int cursor) {
  typedCursor_ = cursor;
  const QSignalBlocker blocker(lineEdit());
  lineEdit()->setText(text);
  lineEdit()->setCursorPosition(cursor);
}

void DatePicker::showDay() {
  const QSignalBlocker blocker(lineEdit());
  lineEdit()->setText(date().toString(displayFormat()));
}

bool DatePicker::typeKey(const QKeyEvent& event) {
  QLineEdit& edit = *lineEdit();
  QString text = edit.text();
  // While typing, the place is the picker's own: the spin box moves the line's cursor between its
  // sections behind the text's back.
  int cursor = typing_ ? typedCursor_ : edit.cursorPosition();
  const bool selection = !typing_ && edit.hasSelectedText();
  int from = selection ? edit.selectionStart() : cursor;
  int length = selection ? static_cast<int>(edit.selectedText().size()) : 0;
  if (!typing_ && (selection || cursor == 0)) {  // over the selection or from the start: a new day
    from = 0;
    length = static_cast<int>(text.size());
  }
  switch (event.key()) {
    case Qt::Key_Backspace:
      if (length == 0 && from > 0) --from, length = 1;
      break;
    case Qt::Key_Delete:
      if (length == 0) length = 1;
      break;
    default:
      if (!startsTyping(event.text())) return false;
  }
  text.replace(from, length, startsTyping(event.text()) ? event.text() : QString());
  cursor = from + (startsTyping(event.text()) ? 1 : 0);
  if (readTypedDay(text, displayFormat()).state == Typed::Invalid) {
    QApplication::beep();
    return true;
  }
  typing_ = true;
  setTypedText(text, cursor);
  return true;
}

void DatePicker::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (typing_ && enter) {
    takeTyped();
    return;
  }
  if (typing_ && event->key() == Qt::Key_Escape) {
    typing_ = false;
    showDay();
    return;
  }
  const bool editing = event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete;
  if ((event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) == 0 &&
      ((typing_ && editing) || startsTyping(event->text())) && typeKey(*event))
    return;
  if (typing_ && (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right || event->key() == Qt::Key_Home ||
                  event->key() == Qt::Key_End)) {
    const int end = static_cast<int>(lineEdit()->text().size());
    const int to = event->key() == Qt::Key_Home  ? 0
                   : event->key() == Qt::Key_End ? end
                                                 : typedCursor_ + (event->key() == Qt::Key_Left ? -1 : 1);
    setTypedText(lineEdit()->text(), std::clamp(to, 0, end));
    return;
  }
  if (typing_ && !takeTyped()) return;
  QDateEdit::keyPressEvent(event);
}

bool DatePicker::takeTyped() {
  if (!typing_) return true;
  typing_ = false;
  const QString typed = lineEdit()->text();
  const TypedDay read = readTypedDay(completedFrom(typed, date(), displayFormat()), displayFormat());
  if (read.state != Typed::Day) {
    showDay();
    const QString format = displayFormat();
    refuse(read.state == Typed::Outside && read.day.isValid()
               ? QString::fromUtf8(kOutside).arg(read.day.toString(format), firstPeriodDay().toString(format),
                                                 lastPeriodDay().toString(format))
               : QString::fromUtf8(kNotADay).arg(typed, QDate(2026, 8, 1).toString(format)));
    return false;
  }
  refusal_.clear();
  setDate(read.day);
  showDay();
  return true;
}

void DatePicker::refuse(const QString& why) {
  refusal_ = why;
  QToolTip::showText(mapToGlobal(QPoint(0, height())), why, this);
  emit refused(why);
}

// The spin box's reading would pad and fix the text as it goes ("1.8." to "1.08."); while the person
// types, the text is theirs until it is taken.
QValidator::State DatePicker::validate(QString& text, int& pos) const {
  return typing_ ? QValidator::Intermediate : QDateEdit::validate(text, pos);
}

void DatePicker::fixup(QString& text) const {
  if (!typing_) QDateEdit::fixup(text);
}

void DatePicker::focusOutEvent(QFocusEvent* event) {
  takeTyped();
  QDateEdit::focusOutEvent(event);
}

bool DatePicker::focusNextPrevChild(bool next) {
  takeTyped();
  return QWidget::focusNextPrevChild(next);
}

QString shortDateFormat(const QLocale& locale) {
  QString format = locale.dateFormat(QLocale::ShortFormat);
  if (!format.contains(QStringLiteral("yyyy"))) format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
  return format;
}

}  // namespace talvix::shell
