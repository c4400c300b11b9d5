#include "step/sleeper.h"

#include "data/progress_beat.h"
#include "step/stop_request.h"

namespace talvix {

void ThreadSleeper::sleepMilliseconds(int milliseconds) {
  sleepTakingStopSignals(milliseconds);
  progressBeat();
}

}  // namespace talvix
