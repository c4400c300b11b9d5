#include "step/sleeper.h"

#include "step/stop_request.h"

namespace talvix {

void ThreadSleeper::sleepMilliseconds(int milliseconds) {
  sleepTakingStopSignals(milliseconds);
}

}  // namespace talvix
