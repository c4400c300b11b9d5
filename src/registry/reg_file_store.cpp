#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

#include "registry/reg_file_format.h"
#include "registry/reg_file_io.h"
#include "registry/reg_snapshot_key.h"
#include "registry/registry_store.h"

namespace talvix {
namespace {

constexpr const char* kPathVariable = "TALVIX_REGISTRY";
constexpr const char* kFileBelowConfig = "/talvix/registry.reg";

regfile::RegDocument loadDocument(const std::string& file) {
  const auto bytes = regfile::readFileBytes(file);
  return bytes ? regfile::parseRegFile(*bytes, file) : regfile::RegDocument{};
}

// What would not parse again is never written: the tool could no longer start, nor save.
void writeDocument(const std::string& file, const regfile::RegDocument& document) {
  const std::string bytes = regfile::serialiseRegFile(document);
  try {
    regfile::parseRegFile(bytes, file);
  } catch (const RegistryError& error) {
    throw RegistryError(std::string("not written, the file would not read back: ") + error.what());
  }
  regfile::replaceFileAtomically(file, bytes);
}

// Re-reads the file under the lock and applies only this change, so values that other programs
// wrote since the key was opened stay. A key deleted meanwhile is created again.
regfile::RegSnapshotKey::Update fileUpdate(std::string file, std::string keyPath, std::chrono::milliseconds lockWait) {
  return [file = std::move(file), keyPath = std::move(keyPath), lockWait](const regfile::RegSnapshotKey::Change& change) {
    regfile::FileLock lock(file, lockWait);
    regfile::RegDocument document = loadDocument(file);
    regfile::RegSection& key = document.obtainKey(keyPath);
    change(key);
    regfile::RegSection changed = key;
    writeDocument(file, document);
    return changed;
  };
}

std::string homeDirectory() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  const passwd* user = ::getpwuid(::getuid());
  return user && user->pw_dir ? user->pw_dir : "";
}

}  // namespace

RegFileStore::RegFileStore(std::string filePath, std::chrono::milliseconds lockWait)
    : filePath_(std::move(filePath)), lockWait_(lockWait) {}

std::unique_ptr<RegistryKey> RegFileStore::openForRead(const std::string& path) {
  const auto keyPath = regfile::normaliseKeyPath(path);
  if (!keyPath) throw RegistryError("bad registry key path \"" + path + "\"");
  const std::string file = regfile::resolveFileLink(filePath_);
  const regfile::RegDocument document = loadDocument(file);
  if (!document.keyExists(*keyPath)) return nullptr;
  return std::make_unique<regfile::RegSnapshotKey>(document.snapshot(*keyPath), fileUpdate(file, *keyPath, lockWait_));
}

std::unique_ptr<RegistryKey> RegFileStore::openForWrite(const std::string& path) {
  const auto keyPath = regfile::normaliseKeyPath(path);
  if (!keyPath) return nullptr;
  const std::string file = regfile::resolveFileLink(filePath_);
  try {
    regfile::createParentDirectories(file);
    regfile::FileLock lock(file, lockWait_);
    regfile::RegDocument document = loadDocument(file);
    if (!document.keyExists(*keyPath)) {
      document.obtainKey(*keyPath);
      writeDocument(file, document);
    }
    return std::make_unique<regfile::RegSnapshotKey>(document.snapshot(*keyPath), fileUpdate(file, *keyPath, lockWait_));
  } catch (const RegistryError&) {
    return nullptr;  // callers treat a key that cannot be opened as "write nothing"
  }
}

std::string defaultRegistryPath() {
  if (const char* path = std::getenv(kPathVariable); path && *path) return path;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const bool usable = config && config[0] == '/';  // relative values are to be ignored
  return (usable ? std::string(config) : homeDirectory() + "/.config") + kFileBelowConfig;
}

}  // namespace talvix
