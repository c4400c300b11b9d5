#include "step/pricing_turn.h"

#include "step/run_activity.h"
#include "step/stop_request.h"

#include <string>

namespace talvix {
namespace {

constexpr int kOneSecond = 1000;

std::string waitedLine(int seconds) {
  return "Gaidu jau " + std::to_string(seconds) + " sekundes, kamēr cita piešķiršana beidzas ...";
}

}  // namespace

PricingTurn::PricingTurn(RunContext& ctx) : ctx_(ctx) {
  if (!ctx.db().connected()) return;
  for (int place = kPlaces; place >= 0; --place) {
    auto next = std::make_unique<ReservedKey>(ctx.db(), kTurnKey - place);
    take(*next);
    held_ = std::move(next);  // the place behind is let go only now
  }
}

void PricingTurn::take(ReservedKey& key) {
  while (!key.tryHold()) {
    if (waitedMilliseconds_ < 0) {
      ctx_.log.AddProcessLine(kWaitingForTurn, false);
      waitedMilliseconds_ = 0;
      reportActivity(Activity::WaitingForTurn, 0);
    }
    stopPoint();
    ctx_.sleeper.sleepMilliseconds(kSliceMilliseconds);
    waitedMilliseconds_ += kSliceMilliseconds;
    stopPoint();
    if (waitedMilliseconds_ % kOneSecond != 0) continue;
    reportActivity(Activity::WaitingForTurn, waitedMilliseconds_ / kOneSecond);
    ctx_.log.AddProcessLine(waitedLine(waitedMilliseconds_ / kOneSecond), true);
  }
}

}  // namespace talvix
