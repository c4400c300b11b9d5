#pragma once
// The window's settings as the command line changes them and --show-settings prints them: the
// settings the library's window holds, the period and the options given laid over them, and one
// row per setting (its option's name, its value) to read or to give back as options.
#include "shell/autoiepcensad_entry.h"
#include "tools/host_options.h"

#include <string>

namespace talvix::tools {

// The settings with the period and the changes laid over them.
AutoIepCenSadSettings withChanges(AutoIepCenSadSettings settings, const std::optional<Period>& period,
                                  const SettingChanges& changes);

// Some kind on "Piešķirt visiem no jauna": the run is one pass, held whole until its end.
bool assignsAnyAnew(const AutoIepCenSadSettings& settings);

// fifo as AutoIepCenSadFifoCosting gives it.
std::string settingsRows(const AutoIepCenSadSettings& settings, int fifo);
// "database NAME" and "database-path PATH", the rows that name what the settings apply to.
std::string databaseRows(const std::string& name, const std::string& connection);

}  // namespace talvix::tools
