#include "run/idle_rest.h"

#include "data/query.h"
#include "step/run_activity.h"
#include "step/stop_request.h"

#include <algorithm>

namespace talvix {

PassWrites::PassWrites(Connection& connection)
    : connection_(connection),
      observer_(connection.addDataObserver([this](DataEvent event, const Query* query) {
        if (event != DataEvent::Written || !query) return;
        ++all_;
        if (query->onDefaultTransaction()) ++costs_;
      })) {}

PassWrites::~PassWrites() { connection_.removeDataObserver(observer_); }

void IdleRest::passStarts() {
  atPassStart_ = operations_.count();
  writersAtPassStart_ = operations_.openWriters();
}

void IdleRest::passEnded(const PassWrites& writes) {
  if (writes.costs() > 0) {
    limit_ = kFirstLimitMilliseconds;
    return;
  }
  const std::optional<std::int64_t> now = operations_.count();
  // Growth beyond the pass's own entries is another program's work, which the pass may have missed.
  if (atPassStart_ && now && *now - *atPassStart_ > writes.all()) return;
  // A writer that ended during the pass committed after the pass's snapshot was taken.
  const std::optional<OpenWriters> writers = now ? operations_.openWriters() : std::nullopt;
  if (writers && writers != writersAtPassStart_) return;
  rest(now, writers);
}

void IdleRest::rest(std::optional<std::int64_t> seen, std::optional<OpenWriters> writers) {
  // No snapshot held open while nothing reads it, so the database can collect old versions.
  ctx_.state.restBetweenPasses();
  const int limit = writers ? kWatchedLimitMilliseconds : limit_;
  reportActivity(Activity::Resting, limit);
  for (int waited = 0; waited < limit;) {
    stopPoint();
    ctx_.sleeper.sleepMilliseconds(kSliceMilliseconds);
    waited += kSliceMilliseconds;
    stopPoint();
    // Without a count only the limit ends the rest; a count lost midway (the connection went
    // away) ends it, and the pass that follows meets the failure.
    if (seen && waited % kCheckMilliseconds == 0 &&
        (operations_.count() != seen || (writers && operations_.openWriters() != writers)))
      break;
  }
  limit_ = std::min(limit_ * 2, kLongestLimitMilliseconds);
}

}  // namespace talvix
