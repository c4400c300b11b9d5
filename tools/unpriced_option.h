#pragma once
// autoiepcensad-run's report of lines still without cost: --unpriced FILE writes it after the run,
// --unpriced-only FILE instead of the run (FILE "-" is standard output). The count by kind is then
// the last line of the output.
#include "shell/autoiepcensad_entry.h"

namespace talvix::tools {

class UnpricedOption {
 public:
  // Takes the option and its file out of argv, shifting the rest down. False (with a message on
  // standard error) when the file is missing or the option comes twice.
  bool take(int& argc, char** argv);
  // Whether the run is to go before the report (always, without the option).
  bool runs() const { return !only_; }
  bool given() const { return file_ != nullptr; }
  // Writes the report through the loaded library and prints the count. True when there is no
  // report to write or it was written.
  bool write(AutoIepCenSadWriteUnpricedFn writeUnpriced) const;

 private:
  const char* file_ = nullptr;
  bool only_ = false;
};

}  // namespace talvix::tools
