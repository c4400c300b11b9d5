#include "tools/journal_priority.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

namespace talvix::tools {

bool isJournalStream(int fd) {
  const char* named = std::getenv("JOURNAL_STREAM");
  if (!named) return false;
  unsigned long long device = 0, inode = 0;
  if (std::sscanf(named, "%llu:%llu", &device, &inode) != 2) return false;
  struct stat status{};
  return fstat(fd, &status) == 0 && status.st_dev == device && status.st_ino == inode;
}

std::string withPriority(const std::string& text, int priority, bool toJournal) {
  if (!toJournal) return text;
  const std::string prefix = "<" + std::to_string(priority) + ">";
  std::string out = prefix;
  for (std::size_t at = 0; at < text.size(); ++at) {
    out += text[at];
    if (text[at] == '\n' && at + 1 < text.size()) out += prefix;
  }
  return out;
}

}  // namespace talvix::tools
