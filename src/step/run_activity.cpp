#include "step/run_activity.h"

#include "data/progress_beat.h"

#include <utility>

namespace talvix {
namespace {

ActivityObserver& observer() {
  static ActivityObserver current;
  return current;
}

ActivityObserver& listener() {
  static ActivityObserver current;
  return current;
}

void tell(const ActivityObserver& each, Activity activity, long long value, const std::string& text) noexcept {
  if (!each) return;
  try {
    each(activity, value, text);
  } catch (...) {
  }
}

}  // namespace

ActivityListener::ActivityListener(ActivityObserver listener) { talvix::listener() = std::move(listener); }

ActivityListener::~ActivityListener() { talvix::listener() = nullptr; }

void setActivityObserver(ActivityObserver observer) { talvix::observer() = std::move(observer); }

void reportActivity(Activity activity, long long value, const std::string& text) noexcept {
  progressBeat();
  tell(observer(), activity, value, text);
  tell(listener(), activity, value, text);
}

}  // namespace talvix
