#include "shell/whole_file.h"

#include "report/output_file.h"

#include <QFile>

#include <stdexcept>

namespace talvix::shell {

void saveWholeFile(const QString& path, const QByteArray& bytes) {
  try {
    writeOutputFile(QFile::encodeName(path).toStdString(), std::string_view(bytes.constData(), bytes.size()));
  } catch (const OutputFileError& failure) {
    throw std::runtime_error(kCannotSaveFile + path.toStdString() + ": " + failure.cause());
  }
}

}  // namespace talvix::shell
