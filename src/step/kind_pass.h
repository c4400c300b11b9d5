#pragma once
// One kind's share of a run, split so the run can price its lines in date order among the other
// kinds' lines. begin() writes the heading and the operation-log entry, resets (mode 2) and selects;
// the run then prices the lines in units (unitEnd) in an order of its choosing; end() commits and
// writes the closing line. A pass lives for one run and owns its statements and pricer.
#include "step/document_line.h"
#include "step/run_context.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace talvix {

// Counts the lines as they are priced: next() once per line, before its price.
class LineCounter {
 public:
  virtual ~LineCounter() = default;
  virtual void next() = 0;
};

// "n/total" on the last progress line, n from first.
class ProgressCounter : public LineCounter {
 public:
  ProgressCounter(ProgressLog& log, int first, std::size_t total)
      : log_(log),
        counter_(first),
        done_(0),
        total_(static_cast<std::int64_t>(total)),
        totalText_("/" + std::to_string(total)) {}
  void next() override {
    log_.AddProcessLine(std::to_string(counter_++) + totalText_, true);
    log_.progress(ProgressLog::Counting::Pricing, ++done_, total_);
  }

 private:
  ProgressLog& log_;
  int counter_;
  std::int64_t done_;
  std::int64_t total_;
  std::string totalText_;
};

class KindPass {
 public:
  virtual ~KindPass() = default;
  // alone: the run's only pass, and the log reads as the kind's step always did; else the heading
  // stands on its own line, for the run's one counter comes after every heading.
  virtual void begin(bool alone) = 0;
  virtual std::size_t size() const = 0;
  virtual DocumentKind kindOf(std::size_t i) const = 0;
  virtual const DocumentLine& line(std::size_t i) const = 0;
  // Lines from first up to the result share a price and are priced together, in this order.
  virtual std::size_t unitEnd(std::size_t first) const = 0;
  // A line the pass selects but never writes: its cost stands for every other line.
  virtual bool leavesAlone(std::size_t) const { return false; }
  virtual void price(std::size_t first, std::size_t end, LineCounter& counter) = 0;
  virtual void end() = 0;
  // The first number the pass's own counter shows when alone.
  virtual int firstCounter() const = 0;
};

// The pass as the kind's step on its own: its lines in its select's order, its own counter.
void runAlone(RunContext& ctx, KindPass& pass);

// The heading a pass writes at begin(): alone, with the blank line its counter replaces when the
// step has one; else a blank line only for the "Dzēšu n" lines of a reset one line at a time.
void writeHeading(RunContext& ctx, const char* heading, bool blankLineAfter, bool alone, bool resetCounts);

}  // namespace talvix
