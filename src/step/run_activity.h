#pragma once
// What a run does now, for a watcher outside the window (the service's status line): a pass
// starts, a pass ends with the costs it wrote, the run rests, waits for another run's turn, or
// counts down to a reconnect. The progress log says the same to a person but not all of it (a rest
// writes no line), and not in a form a program should parse. One watcher per process, like the
// stop request; reporting without one costs nothing.
#include <functional>
#include <string>

namespace talvix {

enum class Activity {
  PassStarted,     // value: 0
  PassEnded,       // value: the costs the pass wrote
  Resting,         // value: the rest's limit in milliseconds
  WaitingForTurn,  // value: seconds waited so far
  PassFailed,      // text: the error; the reconnect countdown follows
  Reconnecting,    // value: seconds until the next attempt
  Reconnected,
  ReconnectFailed,  // text: the error; the next pass tries again
};

using ActivityObserver = std::function<void(Activity activity, long long value, const std::string& text)>;

// An empty observer stops the reports.
void setActivityObserver(ActivityObserver observer);
// The run's own front (the window) hears the same as the watcher while this lives, one at a time.
class ActivityListener {
 public:
  explicit ActivityListener(ActivityObserver listener);
  ~ActivityListener();
  ActivityListener(const ActivityListener&) = delete;
  ActivityListener& operator=(const ActivityListener&) = delete;
};

// Also a progress beat (progress_beat.h). An observer's exception is not the run's: it is dropped.
void reportActivity(Activity activity, long long value = 0, const std::string& text = {}) noexcept;

}  // namespace talvix
