#pragma once
// The loop every step of the FIFO run goes through, returns included: heading, operation-log
// entry, the reset of mode 2, the select of the lines without cost, a counter line per line, its
// price, the write when that differs from the cost the line holds, the commit and the stop point.
// A FifoStep names what one kind does its own way; a FifoPricer prices its lines.
#include "step/document_line.h"
#include "step/price_rule.h"
#include "step/run_context.h"

namespace talvix {

// How mode 2 sets the kind's costs to 0.0 before the select. The services filter follows sql, and
// kOneStatementResetEnd follows the filter of a one-statement reset.
struct FifoReset {
  bool oneStatement;          // sql is one UPDATE ... WHERE ISN IN (select, closed after the filter),
                              // else the select of ISN walked line by line
  const char* sql;
  const char* lineUpdateSql;  // line by line: the update taking :ISN; each line committed at once
  int firstCounter;           // line by line: the number of the first "Dzēšu n"
  bool repaintEachLine;       // line by line: repaint the window after every counter line
};

inline constexpr const char* kOneStatementResetEnd = ") ";

struct FifoStep {
  DocumentKind kind;
  const char* heading;
  bool blankLineAfterHeading;  // else the first counter line replaces the heading
  const char* operationLabel;
  const char* operationKey;    // the mode digit follows it
  FifoReset reset;
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
