#include "run/idle_rest.h"

#include "data/query.h"
#include "step/run_activity.h"
#include "step/stop_request.h"

#include <algorithm>
#include <chrono>

namespace talvix {

PassWrites::PassWrites(Connection& connection)
    : connection_(connection), observer_(connection.addDataObserver([this](DataEvent event, const Query* query) {
        if (event != DataEvent::Written || !query) return;
        ++all_;
        if (!query->onDefaultTransaction()) return;
        ++costs_;
        try {
          if (numbered_) numbers_.insert(connection_.defaultTransaction().number());
        } catch (const std::exception&) {
          numbered_ = false;  // no number for a write: none of them may pass for the run's own
          numbers_.clear();
        }
      })) {}

PassWrites::~PassWrites() { connection_.removeDataObserver(observer_); }

void IdleRest::passStarts() {
  countedAtPassStart_ = countsTell();
  atPassStart_ = countedAtPassStart_ ? operations_.activity() : WriteActivity{};
}

void IdleRest::passEnded(const PassWrites& writes) {
  if (writes.costs() > 0) {
    limit_ = kFirstLimitMilliseconds;
    changed();
    return;
  }
  const WriteActivity now = countedAtPassStart_ ? operations_.activity() : WriteActivity{};
  // Growth beyond the pass's own entries is another program's work, which the pass may have missed;
  // a writer that ended during the pass committed after the pass's snapshot was taken.
  if ((atPassStart_.count && now.count && *now.count - *atPassStart_.count > writes.all()) ||
      (now.writers && now.writers != atPassStart_.writers)) {
    changed();
    return;
  }
  // The pass wrote no document row, so its snapshot's windows are the base: a commit since shows.
  const std::optional<bool> windowMoved = watch_ ? watch_->windowMoved(ctx_.db()) : std::nullopt;
  if (windowMoved.value_or(false)) {
    changed();
    return;
  }
  rest(now, windowMoved.has_value());
}

int IdleRest::limitFor(bool watched) const {
  int limit = watched ? watchedLimit_ : limit_;
  if (const auto due = watch_ ? watch_->wholeLookDue() : std::nullopt) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*due - DocumentWatch::Clock::now());
    limit = static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, limit));
  }
  return limit;
}

bool IdleRest::moved(const WriteActivity& seen, bool windows) {
  if (seen.count && operations_.activity() != seen) return true;
  return windows && watch_->windowMoved(ctx_.db()) != false;
}

bool IdleRest::movedDeep(const WriteActivity& seen) {
  if (seen.count) return operations_.activity() != seen;
  return watch_->windowMoved(ctx_.db()) != false;
}

void IdleRest::rest(const WriteActivity& seen, bool windows) {
  // No snapshot held open while nothing reads it, so the database can collect old versions.
  ctx_.state.restBetweenPasses();
  const int limit = limitFor(seen.writers || windows);
  reportActivity(Activity::Resting, limit);
  if (windows) {
    watchedRest(seen, limit);
  } else {
    for (int waited = 0; waited < limit;) {
      stopPoint();
      ctx_.sleeper.sleepMilliseconds(kSliceMilliseconds);
      waited += kSliceMilliseconds;
      stopPoint();
      // Without a count or windows only the limit ends the rest; a count lost midway (the
      // connection went away) ends it, and the pass that follows meets the failure.
      if (waited % kCheckMilliseconds == 0 && moved(seen, false)) break;
    }
  }
  limit_ = std::min(limit_ * 2, kLongestLimitMilliseconds);
}

void IdleRest::watchedRest(const WriteActivity& seen, int limit) {
  int nextCheck = check_, nextDeep = deep_;
  for (int waited = 0; waited < limit;) {
    stopPoint();
    ctx_.sleeper.sleepMilliseconds(kSliceMilliseconds);
    waited += kSliceMilliseconds;
    stopPoint();
    // A window lost midway (the connection went away) ends the rest too; the next pass meets it.
    if (waited >= nextCheck) {
      if (watch_->windowMoved(ctx_.db(), DocumentWatch::Part::Top) != false) return changed();
      check_ = std::min(check_ * 2, kLongestCheckMilliseconds);
      nextCheck = waited + check_;
    }
    if (waited >= nextDeep) {
      if (movedDeep(seen)) return changed();
      deep_ = std::min(deep_ * 2, kLongestDeepMilliseconds);
      nextDeep = waited + deep_;
    }
  }
  watchedLimit_ = std::min(watchedLimit_ * 2, kLongestWatchedLimitMilliseconds);
}

}  // namespace talvix
