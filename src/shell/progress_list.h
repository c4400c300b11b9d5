#pragma once
// lstProcess, the tool's only log. A line is the time of day in the user's long time format, one
// blank and the caller's text. A new line is selected and painted before the write returns,
// because a run holds the window's thread; a line rewritten in place is painted at most once a
// frame. The list also lets the window's pending events through now and then (input only through
// the run's gate, run_input_gate.h) so the desktop does not take the window for hung. Every write
// reaches the line observer. The person's right click, the Menu key and Ctrl+C are passed on to
// whoever connects to customContextMenuRequested and copyAsked. A line is made as log_lines.h says.
#include "shell/log_lines.h"

#include <QElapsedTimer>
#include <QListWidget>
#include <QStringList>

#include <string>

namespace talvix::shell {

class ProgressList : public QListWidget {
  Q_OBJECT

 public:
  // A write that finds more lines than this empties the list first.
  static constexpr int kMaxLines = kMaxLogLines;

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

  QElapsedTimer sincePaint_;
  bool writing_ = false;
  bool chosenByPerson_ = false;
  LineStamp stamp_;
};

}  // namespace talvix::shell
