#include "step/run_settings.h"

namespace talvix {

std::string periodLogText(const RunSettings& settings) {
  return "Datums No=" + formatShortDate(settings.firstDay()) + " Dat.Līdz=" + formatShortDate(settings.lastDay());
}

}  // namespace talvix
