#include "shell/sliced_sleeper.h"

#include "step/stop_request.h"

#include <algorithm>

namespace talvix::shell {

void SlicedSleeper::sleepMilliseconds(int milliseconds) {
  for (int left = milliseconds; left > 0; left -= kSliceMilliseconds) {
    beforeSlice();
    if (stopRequested()) return;
    ThreadSleeper::sleepMilliseconds(std::min(left, kSliceMilliseconds));
  }
}

}  // namespace talvix::shell
