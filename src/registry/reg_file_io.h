#pragma once
// Whole-file access to the registry file. Readers need no lock: the file is only ever replaced by a
// rename, so they see the old or the new file, never half of one. Writers serialise through an
// flock on a separate lock file, which stays in place (removing it would let two writers in).

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace talvix::regfile {

// The file's bytes; nullopt when it does not exist. Throws RegistryError naming the file otherwise.
std::optional<std::string> readFileBytes(const std::string& path);

// Writes a fresh temporary file beside `path` (mkstemp), flushes it to disk and renames it over
// `path`, keeping the old file's mode (0600 for a new one). Only to be called under the FileLock of
// `path`. Throws RegistryError.
void replaceFileAtomically(const std::string& path, std::string_view bytes);

// Creates the missing directories above `path`, 0700; throws RegistryError.
void createParentDirectories(const std::string& path);

// The file a symlink points to, so that a write replaces the target and not the link.
std::string resolveFileLink(const std::string& path);

// Exclusive flock on "<path>.lock" for the object's lifetime. Throws RegistryError when another
// holder keeps it longer than `wait`.
class FileLock {
 public:
  FileLock(const std::string& path, std::chrono::milliseconds wait);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace talvix::regfile
