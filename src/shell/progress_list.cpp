#include "shell/progress_list.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace talvix::shell {
namespace {

// How often a long run lets paint events through; the desktop's hang check waits seconds.
constexpr qint64 kPaintIntervalMs = 100;
// A counter rewritten thousands of times a second is painted once a frame; painting every write
// costs more than the run's own work.
constexpr qint64 kFrameMs = 30;

LineObserver& observer() {
  static LineObserver installed;
  return installed;
}

void letPaintEventsThrough() {
  static QElapsedTimer sinceLast;
  if (sinceLast.isValid() && sinceLast.elapsed() < kPaintIntervalMs) return;
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  sinceLast.start();
}

}  // namespace

ProgressList::ProgressList(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSortingEnabled(false);
  // All lines are one text row high; without this every append measures the whole list.
  setUniformItemSizes(true);
}

void ProgressList::addLine(const std::string& text, bool replaceLast) {
  if (count() > kMaxLines) clear();
  const QString line = timeStamp() + u' ' + QString::fromStdString(text);
  const bool replacing = replaceLast && count() > 0;
  if (replacing) {
    item(count() - 1)->setText(line);
  } else {
    addItem(line);
    setCurrentRow(count() - 1);
    scrollToItem(item(count() - 1));
  }
  // A new line is always painted at once: every step ends with one, so the list never stops on a
  // stale counter.
  if (!replacing || !sincePaint_.isValid() || sincePaint_.elapsed() >= kFrameMs) {
    repaint();
    sincePaint_.start();
    letPaintEventsThrough();
  }
  if (observer()) observer()(line.toStdString(), text, replacing);
}

QString ProgressList::timeStamp() {
  const QTime now = QTime::currentTime();
  const int second = now.msecsSinceStartOfDay() / 1000;
  if (second != stampSecond_) {
    stampSecond_ = second;
    stamp_ = QLocale::system().toString(now, longTimeFormat(QLocale::system()));
  }
  return stamp_;
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

}  // namespace talvix::shell
