#pragma once
// The progress list's context menu (right click, the Menu key): copy the chosen line or the whole
// log, save it, and show the period's lines still without cost. The window connects the actions to
// its handlers and says, before each showing, which of them can be taken; Copy also answers Ctrl+C
// in the list. A run holds the window while it works, so the menu is never open during one
// (run_input_gate.h).
#include <QMenu>

namespace talvix::shell {

class ProgressMenu : public QMenu {
  Q_OBJECT

 public:
  explicit ProgressMenu(QWidget* parent);

  // Opens at pos of the list's viewport, or under the list's current line when pos is outside it
  // (the Menu key on an empty list).
  void openOver(const QWidget& viewport, const QPoint& pos);

  QAction* const copyLog;
  QAction* const copyAll;
  QAction* const saveLog;
  QAction* const unpricedLines;
};

}  // namespace talvix::shell
