#include "step/run_stamp.h"

#include "data/date_time.h"
#include "registry/registry_store.h"

namespace talvix {
namespace {
constexpr const char* kStampValue = "LastIepCenSadLaiks";
}

void stampLastRun(RegistryStore& registry, const std::string& keyPath) {
  const auto key = registry.openForWrite(keyPath);
  if (key) key->writeDateTime(kStampValue, nowLocal());
}

}  // namespace talvix
