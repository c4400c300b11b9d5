#pragma once
// "LastIepCenSadLaiks": the date and time a run finished, stamped under the run's registry key.
// A key that can be neither opened nor created is skipped without a word.
#include <string>

namespace talvix {

class RegistryStore;

// The key the window keeps its settings under; the FIFO run stamps there too.
inline constexpr char kSettingsKey[] = "Software\\ORMANTA\\Talvix\\AutoIepCenSad";

void stampLastRun(RegistryStore& registry, const std::string& keyPath);

}  // namespace talvix
