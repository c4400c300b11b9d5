#include "step/run_activity.h"

#include "data/progress_beat.h"

#include <utility>

namespace talvix {
namespace {

ActivityObserver& observer() {
  static ActivityObserver current;
  return current;
}

}  // namespace

void setActivityObserver(ActivityObserver observer) { talvix::observer() = std::move(observer); }

void reportActivity(Activity activity, long long value, const std::string& text) noexcept {
  progressBeat();
  if (!observer()) return;
  try {
    observer()(activity, value, text);
  } catch (...) {
  }
}

}  // namespace talvix
