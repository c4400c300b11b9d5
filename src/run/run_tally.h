#pragma once
// What a run, or a pass of a continuous run, changed: how many line costs, the money that moved
// (quantity x (cost after - cost before), a cost of none as 0.0) and how many lines of the period
// of the kinds it processes are still without cost (0.00 or none), for the one line the log closes
// it with. A single run (a kind on "Piešķirt visiem no jauna", or the weighted average) reads every
// line's cost of those kinds before its first write and again at the end, as the preview compares;
// a continuous pass hears its own cost writes, each of which replaces a cost of 0.00 or none (its
// steps write a line only when the cost changes), and asks the quantities of those lines alone, so
// a pass that wrote nothing reads nothing. Lives for one run or pass on its context's connection.
#include "step/run_context.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace talvix {

struct RunSummary {
  std::int64_t changed = 0;
  double money = 0.0;
  std::int64_t stillWithoutCost = 0;
};

class RunTally {
 public:
  // continuous: a pass of the continuous FIFO run. Reads the costs now when not.
  RunTally(RunContext& ctx, bool continuous);
  ~RunTally();
  RunTally(const RunTally&) = delete;
  RunTally& operator=(const RunTally&) = delete;

  // After the run's last write; nullopt for a continuous pass that changed nothing.
  std::optional<RunSummary> summary();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// "Mainītas pašizmaksas: 690 rindas, vērtības izmaiņa +42 560,10; bez pašizmaksas vēl 142 rindas"
std::string summaryLine(const RunSummary& summary);

// "690 rindas, +42 560,10"
std::string briefSummary(const RunSummary& summary);

// Writes the line and hands the summary to the run's host; nothing for a preview or nothing to say.
void closeWithSummary(RunContext& ctx, RunTally& tally);

}  // namespace talvix
