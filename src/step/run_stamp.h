#pragma once
// "LastIepCenSadLaiks": the date and time a run finished, stamped under the run's registry key.
// A key that can be neither opened nor created is skipped without a word.
#include <string>

namespace talvix {

class RegistryStore;

void stampLastRun(RegistryStore& registry, const std::string& keyPath);

}  // namespace talvix
