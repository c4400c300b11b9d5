#pragma once
// The window's wait. A rest between passes and the reconnect countdown hold the window's thread,
// so pending paint events (never user input) go through before each wait: the window stays drawn.
#include "step/sleeper.h"

namespace talvix::shell {

class PaintingSleeper : public ThreadSleeper {
 public:
  void sleepMilliseconds(int milliseconds) override;
};

}  // namespace talvix::shell
