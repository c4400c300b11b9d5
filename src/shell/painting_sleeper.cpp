#include "shell/painting_sleeper.h"

#include "shell/run_input_gate.h"
#include "step/stop_request.h"

#include <algorithm>

namespace talvix::shell {

void PaintingSleeper::sleepMilliseconds(int milliseconds) {
  for (int left = milliseconds; left > 0; left -= kSliceMilliseconds) {
    letPendingEventsThrough();
    if (stopRequested()) return;
    ThreadSleeper::sleepMilliseconds(std::min(left, kSliceMilliseconds));
  }
}

}  // namespace talvix::shell
