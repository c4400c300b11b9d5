#include "shell/progress_menu.h"

#include <QKeySequence>

namespace talvix::shell {
namespace {

constexpr char kCopy[] = "Kopēt";
constexpr char kCopyAll[] = "Kopēt visu";
constexpr char kSaveLog[] = "Saglabāt žurnālu...";
constexpr char kUnpricedLines[] = "Rindas bez pašizmaksas...";

}  // namespace

ProgressMenu::ProgressMenu(QWidget* parent)
    : QMenu(parent),
      copyLog(addAction(QString::fromUtf8(kCopy))),
      copyAll(addAction(QString::fromUtf8(kCopyAll))),
      saveLog(addAction(QString::fromUtf8(kSaveLog))),
      unpricedLines(addAction(QString::fromUtf8(kUnpricedLines))) {
  setObjectName(QStringLiteral("progressMenu"));
  copyLog->setShortcut(QKeySequence::Copy);  // shown beside it; the list answers the keys (copyAsked)
  insertSeparator(unpricedLines);
}

void ProgressMenu::openOver(const QWidget& viewport, const QPoint& pos) {
  const QPoint inside = viewport.rect().contains(pos) ? pos : viewport.rect().topLeft();
  popup(viewport.mapToGlobal(inside));
}

}  // namespace talvix::shell
