#include "shell/whole_file.h"

#include <QSaveFile>

#include <stdexcept>

namespace talvix::shell {

void saveWholeFile(const QString& path, const QByteArray& bytes) {
  QSaveFile file(path);
  // Off: a folder the temporary file cannot be made in must fail the save, not write in place.
  file.setDirectWriteFallback(false);
  const bool saved = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
  if (!saved)
    throw std::runtime_error(kCannotSaveFile + path.toStdString() + ": " + file.errorString().toStdString());
}

}  // namespace talvix::shell
