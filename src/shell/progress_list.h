#pragma once
// lstProcess, the tool's only log. A line is the time of day in the user's long time format, one
// blank and the caller's text. Every write selects the last line and paints the list before it
// returns, because a run holds the window's thread; the list also lets the window's pending paint
// events through now and then (never user input) so the desktop does not take the window for hung.
#include <QListWidget>
#include <QLocale>
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
