#pragma once
// A registry kept in memory, with the same matching rules and errors as RegFileStore, for tests of
// code that only needs a registry. It may start from the text of a .reg file. Opened keys share
// the store's data and may outlive it.

#include <memory>
#include <string_view>

#include "registry/registry_store.h"

namespace talvix {

namespace regfile {
struct RegDocument;
}

class MemoryRegistryStore : public RegistryStore {
 public:
  explicit MemoryRegistryStore(std::string_view regFileText = {});  // throws RegistryError when unparseable
  std::unique_ptr<RegistryKey> openForRead(const std::string& path) override;
  std::unique_ptr<RegistryKey> openForWrite(const std::string& path) override;

 private:
  std::unique_ptr<RegistryKey> openKey(const std::string& keyPath);

  std::shared_ptr<regfile::RegDocument> document_;
};

}  // namespace talvix
