#include "shell/log_lines.h"

namespace talvix::shell {
namespace {

LineObserver& observer() {
  static LineObserver installed;
  return installed;
}

}  // namespace

QString LineStamp::now() {
  const QTime time = QTime::currentTime();
  const int second = time.msecsSinceStartOfDay() / 1000;
  if (second != second_) {
    second_ = second;
    text_ = QLocale::system().toString(time, longTimeFormat(QLocale::system()));
  }
  return text_;
}

QString longTimeFormat(const QLocale& locale) {
  const QString format = locale.timeFormat(QLocale::LongFormat);
  QString kept;
  bool quoted = false;
  for (QChar c : format) {
    if (c == u'\'') quoted = !quoted;
    if (!quoted && c == u't') continue;
    kept += c;
  }
  kept = kept.trimmed();
  while (kept.contains(QStringLiteral("  "))) kept.replace(QStringLiteral("  "), QStringLiteral(" "));
  return kept;
}

QString progressLine(const QTime& time, const QString& text, const QLocale& locale) {
  return locale.toString(time, longTimeFormat(locale)) + u' ' + text;
}

void setLineObserver(LineObserver newObserver) { observer() = std::move(newObserver); }

void tellLineObserver(const std::string& line, const std::string& text, bool replaced) {
  if (observer()) observer()(line, text, replaced);
}

}  // namespace talvix::shell
