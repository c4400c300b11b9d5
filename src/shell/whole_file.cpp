#include "shell/whole_file.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace talvix::shell {
namespace {

// The cause in the person's language; errno's own text is English.
struct Cause {
  int error;
  const char* text;
};
constexpr Cause kCauses[] = {
    {ENOENT, "tādas mapes nav"},
    {EACCES, "nav atļaujas rakstīt"},
    {EPERM, "nav atļaujas rakstīt"},
    {EROFS, "failu sistēma ir tikai lasāma"},
    {ENOSPC, "diskā nav vietas"},
    {EDQUOT, "pārsniegta diska kvota"},
    {ENOTDIR, "ceļā ir fails, kas nav mape"},
    {EISDIR, "tā ir mape"},
    {EFBIG, "fails ir par lielu"},
    {ENAMETOOLONG, "faila nosaukums ir par garu"},
    {EIO, "ievades un izvades kļūda"},
    {EBUSY, "fails ir aizņemts"},
};
constexpr char kOtherCause[] = "sistēmas kļūda ";

[[noreturn]] void cannotSave(const QString& path, int error) {
  std::string cause;
  for (const Cause& each : kCauses)
    if (each.error == error) cause = each.text;
  if (cause.empty()) cause = kOtherCause + std::to_string(error);
  throw std::runtime_error(kCannotSaveFile + path.toStdString() + ": " + cause);
}

bool writeAll(int fd, const QByteArray& bytes) {
  for (qint64 written = 0; written < bytes.size();) {
    const ssize_t step = ::write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
    if (step < 0 && errno == EINTR) continue;
    if (step <= 0) return false;
    written += step;
  }
  return true;
}

// A file replaced keeps its mode; a new one gets what the person's umask gives.
mode_t modeFor(const QByteArray& target) {
  struct stat standing {};
  if (::stat(target.constData(), &standing) == 0 && S_ISREG(standing.st_mode)) return standing.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

void saveWholeFile(const QString& path, const QByteArray& bytes) {
  const QByteArray target = QFile::encodeName(QFileInfo(path).absoluteFilePath());
  QByteArray part = target + ".XXXXXX";
  const int fd = ::mkstemp(part.data());
  if (fd < 0) cannotSave(path, errno);
  bool saved = writeAll(fd, bytes) && ::fchmod(fd, modeFor(target)) == 0 && ::fsync(fd) == 0;
  int error = saved ? 0 : errno;
  if (::close(fd) != 0 && saved) {
    saved = false;
    error = errno;
  }
  if (saved && ::rename(part.constData(), target.constData()) != 0) {
    saved = false;
    error = errno;
  }
  if (!saved) {
    ::unlink(part.constData());
    cannotSave(path, error);
  }
}

}  // namespace talvix::shell
