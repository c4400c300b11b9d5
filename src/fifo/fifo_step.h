#pragma once
// The loop every step of the FIFO run goes through, returns included: heading, operation-log
// entry, the reset of mode 2, the select of the lines without cost, a counter line per line, its
// price, the write when that differs from the cost the line holds, the commit and the stop point.
// A FifoStep names what one kind does its own way; a FifoPricer prices its lines.
#include "step/document_line.h"
#include "step/line_reset.h"
#include "step/price_rule.h"
#include "step/run_context.h"

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
};

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

void runFifoStep(RunContext& ctx, const FifoStep& step, FifoPricer& pricer);

}  // namespace talvix
