#include "tools/unpriced_option.h"

#include "tools/journal_priority.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace talvix::tools {
namespace {

constexpr char kAfterRun[] = "--unpriced";
constexpr char kInsteadOfRun[] = "--unpriced-only";
constexpr int kSummarySize = 16384;
constexpr char kTwice[] = "--unpriced or --unpriced-only may be given once";
constexpr char kNoFile[] = "--unpriced needs a FILE (- for standard output)";

}  // namespace

bool UnpricedOption::take(int& argc, char** argv) {
  for (int index = 1; index < argc;) {
    const bool after = std::strcmp(argv[index], kAfterRun) == 0;
    const bool instead = std::strcmp(argv[index], kInsteadOfRun) == 0;
    if (!after && !instead) {
      ++index;
      continue;
    }
    if (file_ || index + 1 >= argc) {
      const std::string message = std::string("autoiepcensad-run: ") + (file_ ? kTwice : kNoFile) + "\n";
      std::fputs(withPriority(message, kPriorityError, isJournalStream(STDERR_FILENO)).c_str(), stderr);
      return false;
    }
    file_ = argv[index + 1];
    only_ = instead;
    for (int rest = index; rest + 2 <= argc; ++rest) argv[rest] = argv[rest + 2];
    argc -= 2;
  }
  return true;
}

bool UnpricedOption::write(AutoIepCenSadWriteUnpricedFn writeUnpriced) const {
  if (!file_) return true;
  char summary[kSummarySize] = {};
  if (writeUnpriced(file_, summary, kSummarySize) != 0) return false;
  std::fputs(summary, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  return true;
}

}  // namespace talvix::tools
