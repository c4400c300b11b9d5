#pragma once
// The window's wait. A rest between passes and the reconnect countdown hold the window's thread,
// so the pending events go through (letPendingEventsThrough) every few hundredths of a second:
// the window stays drawn, and a stop asked from the window ends the wait at once, as a stop
// signal does.
#include "step/sleeper.h"

namespace talvix::shell {

class PaintingSleeper : public ThreadSleeper {
 public:
  static constexpr int kSliceMilliseconds = 40;

  void sleepMilliseconds(int milliseconds) override;
};

}  // namespace talvix::shell
