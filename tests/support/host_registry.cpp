#include "support/host_registry.h"

#include "registry/registry_store.h"

namespace talvix::test {

void writeHostRegistry(const std::string& registryPath, const std::string& database, DateTime from, DateTime to,
                       const std::map<std::string, int>& settings) {
  RegFileStore registry(registryPath);
  registry.openForWrite("Software\\ORMANTA\\Talvix\\Bazes")->writeString("Noliktava", database);
  registry.openForWrite("Software\\ORMANTA\\Talvix\\Password")->writeInteger("LastDBIndex", 0);
  const auto key = registry.openForWrite("Software\\ORMANTA\\Talvix\\AutoIepCenSad");
  key->writeDateTime("DatumsNo", from);
  key->writeDateTime("DatumsLidz", to);
  for (const auto& [name, value] : settings) key->writeInteger(name, value);
}

}  // namespace talvix::test
