#include "registry/memory_registry_store.h"

#include "registry/reg_file_format.h"
#include "registry/reg_snapshot_key.h"

namespace talvix {

MemoryRegistryStore::MemoryRegistryStore(std::string_view regFileText)
    : document_(std::make_shared<regfile::RegDocument>(regfile::parseRegFile(regFileText, "(memory)"))) {}

std::unique_ptr<RegistryKey> MemoryRegistryStore::openForRead(const std::string& path) {
  const auto keyPath = regfile::normaliseKeyPath(path);
  if (!keyPath) throw RegistryError("bad registry key path \"" + path + "\"");
  return document_->keyExists(*keyPath) ? openKey(*keyPath) : nullptr;
}

std::unique_ptr<RegistryKey> MemoryRegistryStore::openForWrite(const std::string& path) {
  const auto keyPath = regfile::normaliseKeyPath(path);
  if (!keyPath) return nullptr;
  document_->obtainKey(*keyPath);
  return openKey(*keyPath);
}

std::unique_ptr<RegistryKey> MemoryRegistryStore::openKey(const std::string& keyPath) {
  auto update = [document = document_, keyPath](const regfile::RegSnapshotKey::Change& change) {
    regfile::RegSection& key = document->obtainKey(keyPath);
    change(key);
    return key;
  };
  return std::make_unique<regfile::RegSnapshotKey>(document_->snapshot(keyPath), update);
}

}  // namespace talvix
