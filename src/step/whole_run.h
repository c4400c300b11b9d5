#pragma once
// A run that resets costs (a kind on "all anew") writes its resets and prices in the connection's
// one transaction and commits them together at its end, so whatever stops it part way (a stop
// request, a signal, a killed process or server, a lost connection) every line keeps the cost it
// held. The run's own reads go through that transaction and see its writes. Owned by the run for
// its length; a run without resets commits line by line as before, each line its final cost.
#include "step/run_context.h"

namespace talvix {

class WholeRun {
 public:
  // Holds the run's writes when the settings reset costs and it is not a preview.
  explicit WholeRun(RunContext& ctx);
  // Not committed: rolls the run's writes back.
  ~WholeRun();
  WholeRun(const WholeRun&) = delete;
  WholeRun& operator=(const WholeRun&) = delete;

  // The run's end: its writes become durable together.
  void commit();

 private:
  RunContext& ctx_;
};

}  // namespace talvix
