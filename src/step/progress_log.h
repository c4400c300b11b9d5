#pragma once
// Where a run reports itself: time-stamped lines in the window's list. The window implements it on
// its list box; tests use RecordingProgressLog.
#include <string>

namespace talvix {

class ProgressLog {
 public:
  virtual ~ProgressLog() = default;
  // Appends a line, or with replaceLast overwrites the last one (appends when the list is empty).
  // The line is on screen when this returns.
  virtual void AddProcessLine(const std::string& text, bool replaceLast) = 0;
  // Repaints the whole window (the list repaints itself on every line).
  virtual void repaintWindow() = 0;
};

}  // namespace talvix
