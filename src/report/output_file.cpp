#include "report/output_file.h"

#include "registry/file_descriptor.h"
#include "registry/reg_file_io.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <utility>

namespace talvix {
namespace {

struct Cause {
  int error;
  const char* text;
};
// errno's own text is English.
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
    {ENXIO, "neviens to nelasa (kanālam nav lasītāja)"},
    {EPIPE, "lasītājs aizvēra kanālu"},
    {ETXTBSY, "fails ir aizņemts (to izpilda)"},
    {EXDEV, "mapi un failu nevar apmainīt (dažādas failu sistēmas)"},
    {ELOOP, "ceļā ir par daudz simbolisko saišu"},
    {EINVAL, "šeit tādu failu rakstīt nevar"},
};
constexpr char kOtherCause[] = "sistēmas kļūda ";
constexpr char kKernelFolder[] = "tā ir kodola failu sistēma (/proc vai /sys): tajā failus neveido un neaizstāj";
constexpr char kNewFileRefused[] = "šajā mapē jaunu failu izveidot nevar";
constexpr char kSocket[] = "tā ir ligzda (socket), ne fails: tajā neraksta";
constexpr char kBlockDevice[] = "tā ir bloka ierīce (disks): to neaizstāj un tajā neraksta";

[[noreturn]] void fail(const std::string& path, std::string cause) { throw OutputFileError(path, std::move(cause)); }

std::string folderOf(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

bool kernelFileSystem(const std::string& folder) {
  struct statfs system {};
  return ::statfs(folder.c_str(), &system) == 0 && (system.f_type == PROC_SUPER_MAGIC || system.f_type == SYSFS_MAGIC);
}

// A folder that stands but takes no new file answers ENOENT (procfs): that is not the reason.
std::string creationCause(const std::string& target, int error) {
  const std::string folder = folderOf(target);
  if (kernelFileSystem(folder)) return kKernelFolder;
  struct stat standing {};
  if (error == ENOENT && ::stat(folder.c_str(), &standing) == 0 && S_ISDIR(standing.st_mode)) return kNewFileRefused;
  return latvianFileCause(error);
}

// A file replaced keeps its mode; a new one gets what the person's umask gives.
mode_t modeFor(const struct stat* standing) {
  if (standing) return standing->st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

void replaceWhole(const std::string& path, const std::string& target, const struct stat* standing,
                  std::string_view bytes) {
  std::string part = target + ".XXXXXX";
  FileDescriptor fd(::mkostemp(part.data(), O_CLOEXEC));
  if (fd.get() < 0) fail(path, creationCause(target, errno));
  bool saved = writeWhole(fd.get(), bytes) && ::fchmod(fd.get(), modeFor(standing)) == 0 && ::fsync(fd.get()) == 0;
  int error = saved ? 0 : errno;
  if (::close(fd.release()) != 0 && saved) {
    saved = false;
    error = errno;
  }
  if (saved && ::rename(part.c_str(), target.c_str()) != 0) {
    saved = false;
    error = errno;
  }
  if (!saved) {
    ::unlink(part.c_str());
    fail(path, latvianFileCause(error));
  }
}

// Without a reader a FIFO refuses at once (ENXIO) rather than hang the writer.
void writeInto(const std::string& path, const std::string& target, std::string_view bytes) {
  FileDescriptor fd(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) fail(path, latvianFileCause(errno));
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) fail(path, latvianFileCause(errno));
  if (!writeWhole(fd.get(), bytes)) fail(path, latvianFileCause(errno));
  if (::close(fd.release()) != 0) fail(path, latvianFileCause(errno));
}

}  // namespace

OutputFileError::OutputFileError(std::string path, std::string cause)
    : std::runtime_error(path + ": " + cause), path_(std::move(path)), cause_(std::move(cause)) {}

std::string latvianFileCause(int error) {
  for (const Cause& each : kCauses)
    if (each.error == error) return each.text;
  return kOtherCause + std::to_string(error);
}

void writeOutputFile(const std::string& path, std::string_view bytes) {
  const std::string target = std::filesystem::absolute(regfile::resolveFileLink(path)).string();
  struct stat standing {};
  if (::stat(target.c_str(), &standing) != 0) {
    if (errno != ENOENT) fail(path, latvianFileCause(errno));
    replaceWhole(path, target, nullptr, bytes);
    return;
  }
  if (S_ISDIR(standing.st_mode)) fail(path, latvianFileCause(EISDIR));
  if (S_ISSOCK(standing.st_mode)) fail(path, kSocket);
  if (S_ISBLK(standing.st_mode)) fail(path, kBlockDevice);
  if (S_ISCHR(standing.st_mode) || S_ISFIFO(standing.st_mode)) {
    writeInto(path, target, bytes);
    return;
  }
  if (kernelFileSystem(folderOf(target))) fail(path, kKernelFolder);
  replaceWhole(path, target, &standing, bytes);
}

}  // namespace talvix
