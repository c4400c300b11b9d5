#include "shell/progress_list.h"

#include "shell/run_input_gate.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>

namespace talvix::shell {
namespace {

// How often a long run lets pending events through; the desktop's hang check waits seconds.
constexpr qint64 kPaintIntervalMs = 100;
// A counter rewritten thousands of times a second is painted once a frame; painting every write
// costs more than the run's own work.
constexpr qint64 kFrameMs = 30;

void letEventsThroughNowAndThen() {
  static QElapsedTimer sinceLast;
  if (sinceLast.isValid() && sinceLast.elapsed() < kPaintIntervalMs) return;
  letPendingEventsThrough();
  sinceLast.start();
}

}  // namespace

ProgressList::ProgressList(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSortingEnabled(false);
  // All lines are one text row high; without this every append measures the whole list.
  setUniformItemSizes(true);
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QListWidget::itemSelectionChanged, this, &ProgressList::noteSelection);
}

void ProgressList::addLine(const std::string& text, bool replaceLast) {
  if (count() > kMaxLines) clear();
  const QString line = stamp_.now() + u' ' + QString::fromStdString(text);
  const bool replacing = replaceLast && count() > 0;
  if (replacing) {
    item(count() - 1)->setText(line);
  } else {
    writing_ = true;
    addItem(line);
    setCurrentRow(count() - 1);
    scrollToItem(item(count() - 1));
    writing_ = false;
    chosenByPerson_ = false;
  }
  // A new line is always painted at once: every step ends with one, so the list never stops on a
  // stale counter.
  if (!replacing || !sincePaint_.isValid() || sincePaint_.elapsed() >= kFrameMs) {
    repaint();
    sincePaint_.start();
    letEventsThroughNowAndThen();
  }
  tellLineObserver(line.toStdString(), text, replacing);
}

QStringList ProgressList::lines() const {
  QStringList all;
  all.reserve(count());
  for (int row = 0; row < count(); ++row) all << item(row)->text();
  return all;
}

int ProgressList::chosenRow() const {
  const QList<QListWidgetItem*> selected = selectedItems();
  return chosenByPerson_ && !selected.isEmpty() ? row(selected.front()) : -1;
}

void ProgressList::noteSelection() {
  if (!writing_) chosenByPerson_ = !selectedItems().isEmpty();
}

void ProgressList::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    emit copyAsked();
    return;
  }
  QListWidget::keyPressEvent(event);
}

// A click on the line that is already selected changes no selection but chooses it all the same.
// The right button only opens the menu: choosing the line under it would make "Kopēt" copy that one.
void ProgressList::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) return;
  QListWidget::mousePressEvent(event);
  chosenByPerson_ = itemAt(event->position().toPoint()) != nullptr && !selectedItems().isEmpty();
}

}  // namespace talvix::shell
