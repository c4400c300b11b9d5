#pragma once
// The turn to price one database: while a run holds it, no other run of this tool prices that
// database, from this machine or another, so the costs do not depend on how many runs there are.
// A FIFO pass or a whole weighted-average run holds it; the rest between passes does not.
//
// Runs queue in the order they come: a run enters at the last of kPlaces waiting places and moves
// up one place at a time, taking the next before it lets go of its own, so no run passes another
// and a run that gave the turn back queues behind those already waiting (strictly so for up to
// kPlaces + 1 runs; more wait for the last place in no set order). The turn and the places are
// ReservedKeys: the database server holds them, and a run that dies lets go of them.
//
// Constructing returns once the turn is held; the destructor gives it back. Alone, a run takes it
// without a line; otherwise it writes "Gaidu, kamēr cita piešķiršana beidzas ..." once, then
// replaces that line with the seconds waited, and a stop request ends the wait (RunStopped). A
// database error propagates (DbError). On a closed connection it holds nothing and returns at once:
// nothing can be priced through it, and the pass meets the closed connection itself.
#include "data/reserved_key.h"
#include "step/run_context.h"

#include <memory>

namespace talvix {

class PricingTurn {
 public:
  static constexpr int kPlaces = 16;
  // The turn's key; place n is kTurnKey - n.
  static constexpr int kTurnKey = -1000000;
  static constexpr int kSliceMilliseconds = 250;

  explicit PricingTurn(RunContext& ctx);
  PricingTurn(const PricingTurn&) = delete;
  PricingTurn& operator=(const PricingTurn&) = delete;

 private:
  void take(ReservedKey& key);

  RunContext& ctx_;
  int waitedMilliseconds_ = -1;  // -1 until the first wait
  std::unique_ptr<ReservedKey> held_;
};

inline constexpr const char* kWaitingForTurn = "Gaidu, kamēr cita piešķiršana beidzas ...";

}  // namespace talvix
