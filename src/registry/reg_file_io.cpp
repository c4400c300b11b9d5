#include "registry/reg_file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>
#include <utility>

#include "registry/file_descriptor.h"
#include "registry/registry_store.h"

namespace talvix::regfile {
namespace {

constexpr mode_t kNewFileMode = 0600;
constexpr mode_t kNewDirectoryMode = 0700;
constexpr auto kLockPoll = std::chrono::milliseconds(20);
constexpr int kMostLinks = 40;  // the kernel's own limit on links followed in one path

[[noreturn]] void failErrno(const std::string& what, const std::string& path, int error = errno) {
  throw RegistryError("cannot " + what + " " + path + ": " + std::strerror(error));
}

void writeAll(int fd, std::string_view bytes, const std::string& path) {
  if (!writeWhole(fd, bytes)) failErrno("write", path);
}

void syncDirectoryOf(const std::string& path) {
  const auto dir = std::filesystem::path(path).parent_path();
  FileDescriptor fd(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  // The rename is done and visible; a directory that cannot be synced only weakens crash safety.
  if (fd.get() >= 0) ::fsync(fd.get());
}

}  // namespace

std::optional<std::string> readFileBytes(const std::string& path) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0 && (errno == ENOENT || errno == ENOTDIR)) return std::nullopt;  // no such file can exist
  if (fd.get() < 0) failErrno("open", path);
  std::string bytes;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) failErrno("read", path);
    if (got == 0) return bytes;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
}

void replaceFileAtomically(const std::string& path, std::string_view bytes) {
  std::string temp = path + ".XXXXXX";
  FileDescriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (fd.get() < 0) failErrno("create a temporary file beside", path);
  try {
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && ::fchmod(fd.get(), old.st_mode & 07777) != 0)
      failErrno("set the mode of", temp);
    writeAll(fd.get(), bytes, temp);
    if (::fsync(fd.get()) != 0) failErrno("flush", temp);
    if (::close(fd.release()) != 0) failErrno("close", temp);
    if (::rename(temp.c_str(), path.c_str()) != 0) failErrno("replace " + path + " with", temp);
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
  syncDirectoryOf(path);
}

void createParentDirectories(const std::string& path) {
  std::filesystem::path dir;
  for (const auto& part : std::filesystem::path(path).parent_path()) {
    dir /= part;
    if (::mkdir(dir.c_str(), kNewDirectoryMode) != 0 && errno != EEXIST)
      failErrno("create the directory", dir.string());
  }
}

// Link by link: a link to a name not yet taken resolves to that name (weakly_canonical alone would
// stop at the link and the write would replace it).
std::string resolveFileLink(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path at = path;
  for (int hops = 0; hops < kMostLinks && fs::is_symlink(at, error); ++hops) {
    const fs::path target = fs::read_symlink(at, error);
    if (error) return path;
    at = target.is_absolute() ? target : at.parent_path() / target;
  }
  if (at == fs::path(path)) return path;
  const auto target = fs::weakly_canonical(at, error);
  return error ? at.string() : target.string();
}

// Polled rather than blocking: a blocking flock outlasts any signal and a holder that hangs.
FileLock::FileLock(const std::string& path, std::chrono::milliseconds wait) {
  const std::string lockPath = path + ".lock";
  fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kNewFileMode);
  if (fd_ < 0) failErrno("open the lock file", lockPath);
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error == EINTR) continue;
    if (error == EWOULDBLOCK && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(kLockPoll);
      continue;
    }
    ::close(fd_);
    if (error == EWOULDBLOCK)
      throw RegistryError("cannot lock " + lockPath + ": another program held it for " + std::to_string(wait.count()) +
                          " ms");
    failErrno("lock", lockPath, error);
  }
}

FileLock::~FileLock() { ::close(fd_); }

}  // namespace talvix::regfile
