#pragma once
// lstProcess, the tool's only log. A line is the time of day in the user's long time format, one
// blank and the caller's text. A new line is selected and painted before the write returns,
// because a run holds the window's thread; a line rewritten in place is painted at most once a
// frame. The list also lets the window's pending events through now and then (input only through
// the run's gate, run_input_gate.h) so the desktop does not take the window for hung. Every write
// reaches the line observer. The person's right click, the Menu key and Ctrl+C are passed on to
// whoever connects to customContextMenuRequested and copyAsked.
#include <QElapsedTimer>
#include <QListWidget>
#include <QLocale>
#include <QStringList>
#include <QTime>

#include <functional>
#include <string>

namespace talvix::shell {

class ProgressList : public QListWidget {
  Q_OBJECT

 public:
  // A write that finds more lines than this empties the list first.
  static constexpr int kMaxLines = 3000;

  explicit ProgressList(QWidget* parent);

  // Appends the line, or with replaceLast overwrites the last one (appends to an empty list).
  void addLine(const std::string& text, bool replaceLast);

  // Every line as shown, time first, oldest first.
  QStringList lines() const;
  // The line the person selected; -1 when none, or when the selection is the newest line as a
  // write left it.
  int chosenRow() const;

 signals:
  void copyAsked();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void noteSelection();

  // The time text, formatted once a second.
  QString timeStamp();

  QElapsedTimer sincePaint_;
  bool writing_ = false;
  bool chosenByPerson_ = false;
  int stampSecond_ = -1;
  QString stamp_;
};

// The locale's long time format without the time zone, which Qt's long format carries.
QString longTimeFormat(const QLocale& locale);
QString progressLine(const QTime& time, const QString& text, const QLocale& locale = QLocale::system());

// Hears every written line as the list shows it, the caller's text alone, and whether the line took
// the place of the list's last one; for hosts that echo the log. One observer for the whole process;
// an empty one stops the echo.
using LineObserver = std::function<void(const std::string& line, const std::string& text, bool replaced)>;
void setLineObserver(LineObserver observer);

}  // namespace talvix::shell
