#pragma once
// The window's wait. A rest between passes and the reconnect countdown hold the window's thread,
// so the pending events go through (letPendingEventsThrough) before every slice of the wait
// (sliced_sleeper.h): the window stays drawn, and a stop asked from the window ends the wait at
// once, as a stop signal does.
#include "shell/sliced_sleeper.h"

namespace talvix::shell {

class PaintingSleeper : public SlicedSleeper {
 protected:
  void beforeSlice() override;
};

}  // namespace talvix::shell
