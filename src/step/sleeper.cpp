#include "step/sleeper.h"

#include <chrono>
#include <thread>

namespace talvix {

void ThreadSleeper::sleepMilliseconds(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace talvix
