#pragma once
// The progress log as a plain list of texts (without the time stamps), with the window's rules for
// replacing the last line, and a count of window repaints; and a log that keeps nothing.
#include "step/progress_log.h"

#include <string>
#include <vector>

namespace talvix::test {

class RecordingLog : public ProgressLog {
 public:
  void AddProcessLine(const std::string& text, bool replaceLast) override {
    if (replaceLast && !lines.empty())
      lines.back() = text;
    else
      lines.push_back(text);
    ++writes;
  }
  void repaintWindow() override { ++repaints; }
  const std::string& last() const { return lines.back(); }

  std::vector<std::string> lines;
  int writes = 0;
  int repaints = 0;
};

// For runs whose log no test reads.
class QuietLog : public ProgressLog {
 public:
  void AddProcessLine(const std::string&, bool) override {}
  void repaintWindow() override {}
};

}  // namespace talvix::test
