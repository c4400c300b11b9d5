#pragma once
// The pass the single-kind weighted-average steps share: every selected line gets its own price
// (the last purchase price when asked for, else the moving average with the step's two flags),
// bound as the step's cost parameter and written by the step's update.
#include "data/query.h"
#include "step/kind_pass.h"
#include "step/price_decision.h"
#include "step/run_context.h"

#include <memory>
#include <vector>

namespace talvix {

// A weighted-average step's statements for one kind, as the step runs them.
struct AverageStepSql {
  DocumentKind kind;
  const char* select;  // the lines without cost; the services filter, where the step takes it, and order follow
  const char* order;   // empty: the lines come in the database's order
  const char* update;  // takes the cost parameter and :ISN
};

struct LineByLine {
  const char* costParameter;  // "CENA" or "IEP_CENA"
  bool transfer;              // the average's first flag
  bool singleKind;            // its second flag
  int firstCounter;           // the counter line's first number (0 or 1)
  bool repaintEachLine;       // repaint the window after every counter line
  bool commitEachLine;        // commit retaining after every line, else once after the loop
};

// One single-kind step: its texts, its statements and how it prices.
struct AverageKindStep {
  const AverageStepSql& sql;
  const char* heading;       // a blank line follows it
  const char* closing;
  const char* operationKey;  // the mode digit follows it
  bool servicesFilter;       // the select takes the services filter
  bool calculatorFirst;      // the average is made before the select, also for the last purchase price
  bool repaintAfterClosing;
  LineByLine how;
};

class AveragePass : public KindPass {
 public:
  AveragePass(RunContext& ctx, const AverageKindStep& step)
      : ctx_(ctx), step_(step), decider_(ctx, step.sql.kind, StockMethod::WeightedAverage) {}
  void begin(bool alone) override;
  std::size_t size() const override { return lines_.size(); }
  DocumentKind kindOf(std::size_t) const override { return step_.sql.kind; }
  const DocumentLine& line(std::size_t i) const override { return lines_[i]; }
  std::size_t unitEnd(std::size_t first) const override { return first + 1; }
  void price(std::size_t first, std::size_t end, LineCounter& counter) override;
  void end() override;
  int firstCounter() const override { return step_.how.firstCounter; }

 private:
  RunContext& ctx_;
  const AverageKindStep& step_;
  PriceDecider decider_;
  std::vector<DocumentLine> lines_;
  std::unique_ptr<Query> update_;
};

// Every row of an open select, as lines.
std::vector<DocumentLine> readLines(Query& select);

}  // namespace talvix
