#include "shell/whole_file.h"

#include <QSaveFile>

#include <stdexcept>

namespace talvix::shell {
namespace {

// Unbuffered, a write that stops short (a full disk, a size limit) says so: the next one fails with
// the cause. Buffered, Qt was seen to drop the rest and commit a cut file as whole.
bool writeAll(QSaveFile& file, const QByteArray& bytes) {
  for (qint64 written = 0; written < bytes.size();) {
    const qint64 step = file.write(bytes.constData() + written, bytes.size() - written);
    if (step <= 0) return false;
    written += step;
  }
  return true;
}

}  // namespace

void saveWholeFile(const QString& path, const QByteArray& bytes) {
  QSaveFile file(path);
  // Off: a folder the file beside the target cannot be made in must fail the save, not write in place.
  file.setDirectWriteFallback(false);
  const bool saved = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && writeAll(file, bytes) && file.commit();
  if (!saved)
    throw std::runtime_error(kCannotSaveFile + path.toStdString() + ": " + file.errorString().toStdString());
}

}  // namespace talvix::shell
