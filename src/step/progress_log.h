#pragma once
// Where a run reports itself: time-stamped lines in the window's list, and its counters as numbers
// for a progress bar. The window implements it on
// its list box; tests use RecordingProgressLog.
#include <cstdint>
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

  // What a step's counter line says, as numbers: done of total lines, priced or reset to 0.0.
  enum class Counting { Pricing, Resetting };
  virtual void progress(Counting /*counting*/, std::int64_t /*done*/, std::int64_t /*total*/) {}
};

}  // namespace talvix
