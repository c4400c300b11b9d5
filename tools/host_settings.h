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

// fifo as AutoIepCenSadFifoCosting gives it.
std::string settingsRows(const AutoIepCenSadSettings& settings, int fifo);

}  // namespace talvix::tools
