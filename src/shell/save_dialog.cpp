#include "shell/save_dialog.h"

#include "shell/message_boxes.h"
#include "shell/whole_file.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStyle>

namespace talvix::shell {
namespace {

constexpr char kFolderType[] = "Mape";
constexpr char kFileType[] = "Fails";

QString& lastFolder() {
  static QString folder = QDir::homePath();
  return folder;
}

// Icons and types from the name's kind alone. Qt's own provider asks the MIME database, which reads
// a file whose name says nothing: a FIFO or /proc/kmsg then blocks the dialog for good. The model
// asks from its own thread, so the icons are made once, here, on the window's.
class NameOnlyIcons : public QAbstractFileIconProvider {
 public:
  NameOnlyIcons()
      : folder_(QApplication::style()->standardIcon(QStyle::SP_DirIcon)),
        file_(QApplication::style()->standardIcon(QStyle::SP_FileIcon)) {}

  QIcon icon(IconType type) const override { return type == File ? file_ : folder_; }
  QIcon icon(const QFileInfo& info) const override { return info.isDir() ? folder_ : file_; }
  QString type(const QFileInfo& info) const override {
    return QString::fromUtf8(info.isDir() ? kFolderType : kFileType);
  }

 private:
  const QIcon folder_;
  const QIcon file_;
};

}  // namespace

void setUpFileDialog(QFileDialog& dialog) {
  static NameOnlyIcons icons;
  // The desktop's dialog may preview or sniff files; Qt's own, with the icons above, only lists them.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::DontUseCustomDirectoryIcons);
  dialog.setIconProvider(&icons);
}

bool saveThroughDialog(QWidget* parent, const QString& title, const QString& suggestedName, const QString& filter,
                       const QByteArray& bytes) {
  return saveThroughDialog(parent, title, suggestedName, filter, [&](const QString&) { return bytes; });
}

bool saveThroughDialog(QWidget* parent, const QString& title, const QString& suggestedName, const QString& filter,
                       const std::function<QByteArray(const QString& path)>& bytesFor) {
  QFileDialog dialog(parent, title, QDir(lastFolder()).filePath(suggestedName), filter);
  setUpFileDialog(dialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  const QString path = dialog.selectedFiles().front();
  // A folder the save failed in (/proc) is not offered again.
  if (!runGuarded(parent, [&] { saveWholeFile(path, bytesFor(path)); })) return false;
  lastFolder() = QFileInfo(path).absolutePath();
  return true;
}

}  // namespace talvix::shell
