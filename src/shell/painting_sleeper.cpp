#include "shell/painting_sleeper.h"

#include "shell/run_input_gate.h"

namespace talvix::shell {

void PaintingSleeper::beforeSlice() { letPendingEventsThrough(); }

}  // namespace talvix::shell
