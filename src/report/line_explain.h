#pragma once
// Why one line has, or would get, its cost: the line, the rule that prices it under the database's
// method and the run's settings, the trail behind the price (the FIFO layers taken, the moving
// average's movements, or what a look-up found), and what a run would write against what the line
// holds. Reads only: writes nothing, logs nothing, asks the pricing library only questions that
// read. The FIFO trail is the pricing library's own (FifoLayersTaken), so it adds up to the price.
#include "step/run_context.h"

#include <stdexcept>
#include <string>

namespace talvix {

// No line of that kind has that key.
class UnknownLine : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// ctx.settings as a run takes them, with the kind's mode not 0; fifo: the database's method.
std::string explainLine(RunContext& ctx, bool fifo, DocumentKind kind, int isn);

}  // namespace talvix
