#pragma once
// The progress log's lines as every front writes them, the window's list and the headless front
// alike: the time of day in the user's long time format, one blank and the caller's text. Every
// line reaches the line observer. Free of widgets.
#include <QLocale>
#include <QString>
#include <QTime>

#include <functional>
#include <string>

namespace talvix::shell {

// A write that finds more lines than this empties the log first.
inline constexpr int kMaxLogLines = 3000;

// The locale's long time format without the time zone, which Qt's long format carries.
QString longTimeFormat(const QLocale& locale);
QString progressLine(const QTime& time, const QString& text, const QLocale& locale = QLocale::system());

// The time text of a line written now, formatted once a second.
class LineStamp {
 public:
  QString now();

 private:
  int second_ = -1;
  QString text_;
};

// Hears every written line as the list shows it, the caller's text alone, and whether the line took
// the place of the list's last one; for hosts that echo the log. One observer for the whole process;
// an empty one stops the echo.
using LineObserver = std::function<void(const std::string& line, const std::string& text, bool replaced)>;
void setLineObserver(LineObserver observer);
void tellLineObserver(const std::string& line, const std::string& text, bool replaced);

}  // namespace talvix::shell
