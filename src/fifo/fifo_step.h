#pragma once
// The loop every step of the FIFO run goes through, returns included: heading, operation-log
// entry, the reset of mode 2, the select of the lines without cost, a counter line per line, its
// price, the write when that differs from the cost the line holds, the commit and the stop point.
// A FifoStep names what one kind does its own way; a FifoPricer prices its lines; a FifoPass runs
// the loop as one kind's share of a run.
#include "data/query.h"
#include "step/document_line.h"
#include "step/kind_pass.h"
#include "step/line_reset.h"
#include "step/price_rule.h"
#include "step/quiet_lines.h"
#include "step/run_context.h"

#include <memory>

namespace talvix {

struct FifoStep {
  DocumentKind kind;
  const char* heading;
  bool blankLineAfterHeading;  // else the first counter line replaces the heading
  const char* operationLabel;
  const char* operationKey;    // the mode digit follows it
  KindReset reset;             // mode 2, before the select
  const char* selectSql;       // the services filter, then selectOrder, follow it
  const char* selectOrder;
  const char* updateSql;       // takes costParameter and :ISN
  const char* costParameter;   // also the select's cost column
  const char* salePriceColumn; // null when the kind's lines carry no sale price
  int firstCounter;            // the number the first counter line shows before the "/"
  bool commitAfterLoop;        // commit retaining once more after the last line
  const char* closing;         // the last progress line; null: none
  // Consecutive lines of one date, department and goods share a price (the last-priced key);
  // else every line stands alone.
  bool unitsByKey = true;
};

// A kind's FIFO step as its row describes it.
constexpr FifoStep fifoStepOf(const DocumentKindRow& row) {
  return {.kind = row.kind,
          .heading = row.texts.fifoHeading,
          .blankLineAfterHeading = row.fifoHow.blankLineAfterHeading,
          .operationLabel = row.texts.fifoLabel,
          .operationKey = row.texts.operationKey,
          .reset = row.fifoHow.reset,
          .selectSql = row.fifo.select,
          .selectOrder = row.fifo.order,
          .updateSql = row.fifo.update,
          .costParameter = row.tables.cost,
          .salePriceColumn = row.tables.salePrice,
          .firstCounter = row.fifoHow.firstCounter,
          .commitAfterLoop = row.fifoHow.commitAfterLoop,
          .closing = row.texts.fifoClosing,
          .unitsByKey = row.fifoHow.unitsByKey};
}

// Every kind's, in the rows' order: a pass holds on to its step.
inline constexpr PerKind<FifoStep> kFifoSteps = [] {
  PerKind<FifoStep> steps{};
  for (std::size_t i = 0; i < kKindCount; ++i) steps[i] = fifoStepOf(kDocumentKinds[i]);
  return steps;
}();

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
  FifoPass(RunContext& ctx, const FifoStep& step, std::unique_ptr<FifoPricer> pricer)
      : ctx_(ctx), step_(step), pricer_(std::move(pricer)) {}
  void begin(bool alone) override;
  std::size_t size() const override { return lines_ ? lines_->size() : 0; }
  DocumentKind kindOf(std::size_t) const override { return step_.kind; }
  const DocumentLine& line(std::size_t i) const override { return (*lines_)[i].line; }
  std::size_t unitEnd(std::size_t first) const override;
  bool leavesAlone(std::size_t i) const override { return pricer_->leavesAlone(line(i)); }
  void price(std::size_t first, std::size_t end, LineCounter& counter) override;
  void end() override;
  int firstCounter() const override { return step_.firstCounter; }

 private:
  void priceLine(const QuietLines::Selected& selected);

  RunContext& ctx_;
  const FifoStep& step_;
  std::unique_ptr<FifoPricer> pricer_;
  bool continuous_ = false;  // only a continuous pass looks at what changed since the last
  QuietLines::Lines lines_;
  std::unique_ptr<Query> update_;
};

}  // namespace talvix
