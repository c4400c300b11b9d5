#include "run/idle_rest.h"

#include "data/query.h"
#include "step/run_activity.h"
#include "step/stop_request.h"

#include <algorithm>
#include <chrono>

namespace talvix {

PassWrites::PassWrites(Connection& connection)
    : connection_(connection),
      observer_(connection.addDataObserver([this](DataEvent event, const Query* query) {
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
  atPassStart_ = countedAtPassStart_ ? operations_.count() : std::nullopt;
  writersAtPassStart_ = countedAtPassStart_ ? operations_.openWriters() : std::nullopt;
}

void IdleRest::passEnded(const PassWrites& writes) {
  if (writes.costs() > 0) {
    limit_ = kFirstLimitMilliseconds;
    return;
  }
  const std::optional<std::int64_t> now = countedAtPassStart_ ? operations_.count() : std::nullopt;
  // Growth beyond the pass's own entries is another program's work, which the pass may have missed.
  if (atPassStart_ && now && *now - *atPassStart_ > writes.all()) return;
  // A writer that ended during the pass committed after the pass's snapshot was taken.
  const std::optional<OpenWriters> writers = now ? operations_.openWriters() : std::nullopt;
  if (writers && writers != writersAtPassStart_) return;
  // The pass wrote no document row, so its snapshot's windows are the base: a commit since shows.
  const std::optional<bool> windowMoved = watch_ ? watch_->windowMoved(ctx_.db()) : std::nullopt;
  if (windowMoved.value_or(false)) return;
  rest(now, writers, windowMoved.has_value());
}

int IdleRest::limitFor(bool watched) const {
  int limit = watched ? kWatchedLimitMilliseconds : limit_;
  if (const auto due = watch_ ? watch_->wholeLookDue() : std::nullopt) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*due - DocumentWatch::Clock::now());
    limit = static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, limit));
  }
  return limit;
}

bool IdleRest::moved(std::optional<std::int64_t> seen, const std::optional<OpenWriters>& writers, bool windows) {
  if (seen && (operations_.count() != seen || (writers && operations_.openWriters() != writers))) return true;
  return windows && watch_->windowMoved(ctx_.db()) != false;
}

void IdleRest::rest(std::optional<std::int64_t> seen, std::optional<OpenWriters> writers, bool windows) {
  // No snapshot held open while nothing reads it, so the database can collect old versions.
  ctx_.state.restBetweenPasses();
  const int limit = limitFor(writers || windows);
  reportActivity(Activity::Resting, limit);
  for (int waited = 0; waited < limit;) {
    stopPoint();
    ctx_.sleeper.sleepMilliseconds(kSliceMilliseconds);
    waited += kSliceMilliseconds;
    stopPoint();
    // Without a count or windows only the limit ends the rest; a count or window lost midway (the
    // connection went away) ends it, and the pass that follows meets the failure.
    if (waited % kCheckMilliseconds == 0 && moved(seen, writers, windows)) break;
  }
  limit_ = std::min(limit_ * 2, kLongestLimitMilliseconds);
}

}  // namespace talvix
