#pragma once
// The fronts' wait: the rests between passes and the reconnect countdown sleep in slices of a few
// hundredths of a second, so a stop asked from inside the process (the window's stop, a host's pass
// limit) ends the wait at once, as a stop signal does, and the progress count moves all along.
// Between slices the window lets its pending events through (painting_sleeper.h). Free of widgets.
#include "step/sleeper.h"

namespace talvix::shell {

class SlicedSleeper : public ThreadSleeper {
 public:
  static constexpr int kSliceMilliseconds = 40;

  void sleepMilliseconds(int milliseconds) override;

 protected:
  virtual void beforeSlice() {}
};

}  // namespace talvix::shell
