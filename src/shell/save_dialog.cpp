#include "shell/save_dialog.h"

#include "shell/message_boxes.h"
#include "shell/whole_file.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace talvix::shell {
namespace {

QString& lastFolder() {
  static QString folder = QDir::homePath();
  return folder;
}

}  // namespace

bool saveThroughDialog(QWidget* parent, const QString& title, const QString& suggestedName, const QString& filter,
                       const QByteArray& bytes) {
  QFileDialog dialog(parent, title, QDir(lastFolder()).filePath(suggestedName), filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  const QString path = dialog.selectedFiles().front();
  lastFolder() = QFileInfo(path).absolutePath();
  return runGuarded(parent, [&] { saveWholeFile(path, bytes); });
}

}  // namespace talvix::shell
