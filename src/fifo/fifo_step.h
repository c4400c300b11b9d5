#pragma once
// The loop every step of the FIFO run goes through, returns included: heading, operation-log
// entry, the reset of mode 2, the select of the lines without cost, a counter line per line, its
// price, the write when that differs from the cost the line holds, the commit and the stop point.
// The kind's row says what it does its own way; a FifoPricer prices its lines; a FifoPass runs the
// loop as one kind's share of a run.
#include "data/query.h"
#include "step/document_line.h"
#include "step/kind_pass.h"
#include "step/line_reset.h"
#include "step/price_rule.h"
#include "step/quiet_lines.h"
#include "step/run_context.h"

#include <memory>

namespace talvix {

struct PricedLine {
  double price;    // finite
  bool commitNow;  // commit retaining right after the write, else a later commit covers it
};

class FifoPricer {
 public:
  virtual ~FifoPricer() = default;
  // A line the step selects but never writes; it takes no stop point either.
  virtual bool leavesAlone(const DocumentLine&) const { return false; }
  virtual PricedLine price(const DocumentLine& line) = 0;
};

class FifoPass : public KindPass {
 public:
  FifoPass(RunContext& ctx, DocumentKind kind, std::unique_ptr<FifoPricer> pricer)
      : ctx_(ctx), row_(kindRow(kind)), pricer_(std::move(pricer)) {}
  void begin(bool alone) override;
  std::size_t size() const override { return lines_ ? lines_->size() : 0; }
  DocumentKind kindOf(std::size_t) const override { return row_.kind; }
  const DocumentLine& line(std::size_t i) const override { return (*lines_)[i].line; }
  std::size_t unitEnd(std::size_t first) const override;
  bool leavesAlone(std::size_t i) const override { return pricer_->leavesAlone(line(i)); }
  void price(std::size_t first, std::size_t end, LineCounter& counter) override;
  void end() override;
  int firstCounter() const override { return row_.fifoHow.firstCounter; }

 private:
  void priceLine(const QuietLines::Selected& selected);

  RunContext& ctx_;
  const DocumentKindRow& row_;  // its statements, texts and how the step runs
  std::unique_ptr<FifoPricer> pricer_;
  bool continuous_ = false;  // only a continuous pass looks at what changed since the last
  QuietLines::Lines lines_;
  std::unique_ptr<Query> update_;
};

}  // namespace talvix
