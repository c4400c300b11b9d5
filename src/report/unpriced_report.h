#pragma once
// The period's lines that still have no cost (0.00 or NULL), for every kind whose mode is not 0,
// under a run's settings: the rule that prices each line and why it gave 0.0, taken from the
// steps' own rule choice and lookups. Reads only: writes nothing, logs nothing, and asks the
// pricing library only questions that read.
#include "step/price_rule.h"
#include "step/run_context.h"

#include <string>
#include <vector>

namespace talvix {

struct UnpricedLine {
  DocumentKind kind;
  DateTime date;
  int dept;  // a transfer's sending department
  int goods;
  std::string goodsName;  // N_KLPREC.NOSAUKUMS
  double quantity;
  int isn;
  PriceRule rule;
  std::string reason;         // the CSV's stable English text
  std::string latvianReason;  // the same for a person: the window and the CSV's own column
};

// fifo: the database's costing method is FIFO (ISIFIFO 1). Kinds in the order a run takes them,
// each by date and line key.
std::vector<UnpricedLine> listUnpricedLines(RunContext& ctx, bool fifo);

}  // namespace talvix
