#include "run/dispatcher.h"

#include "data/db_error.h"
#include "data/open_failure.h"
#include "data/query.h"
#include "run/blocked_days.h"
#include "run/fifo_run.h"
#include "run/idle_rest.h"
#include "run/weighted_average_run.h"
#include "step/pricing_turn.h"
#include "step/run_activity.h"
#include "step/stop_request.h"

#include <cstdio>
#include <memory>
#include <string>

namespace talvix {
namespace {

constexpr const char* kBlockedPeriod =
    "Šajā periodā ir bloķētās dienas, sadalīt nedrīkst !!! \n (Sākumā jāatbloķē periods)";
constexpr const char* kPeriodTooLong = "Vidējai svērtai cenai periods nedrīkst pārsniegt 100 dienas !!!";
constexpr int kFifoMethod = 1;
constexpr double kMaxAverageDays = 100;

constexpr const char* kProcessDone = "Process pabeigts";
constexpr const char* kPassFailed = "Kļūda FIFO piešķiršanā : ";
constexpr const char* kStartingOver = "Process sākas no sākuma ...";
constexpr const char* kWaitingPrefix = "Gaidu ";
constexpr const char* kWaitingSuffix = " sekundes ...";
constexpr const char* kReconnecting = "Pieslēdzās datu bāzei par jaunu...";
constexpr const char* kReconnected = "Pieslēgšanās veiksmīga";
// Beside "Process apturēts" when a pass was stopped part way: the day it was pricing, and what the
// lines hold now.
constexpr const char* kStoppedAtDay = "Apturēts pirms beigām, piešķirot ";
constexpr const char* kStoppedDaySuffix = " rindas";
constexpr const char* kStoppedBeforeLines = "Apturēts pirms beigām, pirms pirmās rindas";
constexpr const char* kNothingKept = ": nekas nav mainīts, visas perioda rindas patur iepriekšējo pašizmaksu";
constexpr const char* kEarlierKept =
    ": iepriekšējo dienu rindām ir jaunā pašizmaksa, vēlākās rindas patur iepriekšējo pašizmaksu";
constexpr int kRecoverySeconds = 30;
constexpr int kOneSecond = 1000;

void deactivateIgnoringErrors(RunContext& ctx) {
  try {
    ctx.tran().deactivate();
  } catch (const DbError&) {
    // The connection is being rebuilt; a dead transaction has nothing left to roll back.
  }
}

// After a failed pass: report, drop the connection, wait, and try to connect again. Only the first
// close may raise out of here; a failed reconnect is reported and the next pass tries again.
void recover(RunContext& ctx, const std::string& error) {
  reportActivity(Activity::PassFailed, 0, error);
  ctx.log.AddProcessLine(kPassFailed + error, false);
  ctx.log.AddProcessLine(kStartingOver, false);
  ctx.state.endPassSnapshot();
  ctx.db().close();
  deactivateIgnoringErrors(ctx);
  for (int seconds = kRecoverySeconds; seconds >= 1; --seconds) {
    reportActivity(Activity::Reconnecting, seconds);
    ctx.log.AddProcessLine(kWaitingPrefix + std::to_string(seconds) + kWaitingSuffix, true);
    stopPoint();
    ctx.sleeper.sleepMilliseconds(kOneSecond);
  }
  try {
    ctx.log.AddProcessLine(kReconnecting, true);
    ctx.db().close();
    ctx.data().connect();
    deactivateIgnoringErrors(ctx);
    reportActivity(Activity::Reconnected);
    ctx.log.AddProcessLine(kReconnected, false);
  } catch (const std::exception& failure) {
    reportActivity(Activity::ReconnectFailed, 0, failure.what());
    ctx.log.AddProcessLine(openFailureText(failure.what()), true);
  }
}

void fifoLoop(RunContext& ctx) {
  MonitoredRecordOperations monitored(ctx.db());
  // A test's made-up counts stand alone; a real run also watches the documents' windows.
  IdleRest idle(ctx, ctx.recordOperations ? *ctx.recordOperations : monitored,
                ctx.recordOperations ? nullptr : &ctx.state.watch);
  for (;;) {
    stopPoint();
    try {
      auto turn = std::make_unique<PricingTurn>(ctx);
      if (!ctx.settings.anyAllAnew()) idle.passStarts();
      const PassWrites writes(ctx.db());
      reportActivity(Activity::PassStarted);
      FifoRun(ctx);
      ctx.state.watch.ownTransactions(writes.numbers());
      turn.reset();  // others price while this run rests
      reportActivity(Activity::PassEnded, writes.costs());
      if (ctx.settings.anyAllAnew()) {
        ctx.log.AddProcessLine(kProcessDone, false);
        return;
      }
      idle.passEnded(writes);
    } catch (const std::exception& error) {
      recover(ctx, error.what());
    }
  }
}

void dispatch(RunContext& ctx) {
  if (refuseBlockedPeriod(ctx)) return;
  ctx.host->SaveSettings();
  if (fifoCosting(ctx)) {
    ctx.host->runStarts(true);
    fifoLoop(ctx);
    return;
  }
  if (refuseLongAveragePeriod(ctx)) return;
  ctx.host->runStarts(false);
  const PricingTurn turn(ctx);
  WeightedAverageRun(ctx);
}

// DD.MM.YYYY, as the window's pickers show a day.
std::string dayText(DateTime day) {
  int year, month, dayOfMonth;
  decodeDate(day, year, month, dayOfMonth);
  char text[16];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d", dayOfMonth, month, year);
  return text;
}

// How far a pass got and what its lines hold; empty when no pass was under way.
std::string stoppedNote(const RunReach& reach, bool wholeRun) {
  if (!reach.pricing) return {};
  const std::string where =
      reach.day > 0 ? kStoppedAtDay + dayText(reach.day) + kStoppedDaySuffix : kStoppedBeforeLines;
  return where + (wholeRun ? kNothingKept : kEarlierKept);
}

}  // namespace

bool refuseBlockedPeriod(RunContext& ctx) {
  const RunSettings& s = ctx.settings;
  if (ctx.data().SkipPeriodLockCheck || !ctx.pricing.VaiBloketsPeriods(s.firstDay(), s.lastDay())) return false;
  // The fixed text, then which days, so the person knows what to unblock.
  const std::string days = blockedDaysLine(blockedDays(ctx));
  ctx.host->showMessage(days.empty() ? std::string(kBlockedPeriod) : kBlockedPeriod + ("\n" + days));
  return true;
}

bool refuseLongAveragePeriod(RunContext& ctx) {
  const RunSettings& s = ctx.settings;
  if (s.lastDay() - s.firstDay() <= kMaxAverageDays) return false;
  ctx.host->showMessage(kPeriodTooLong);
  return true;
}

bool fifoCosting(RunContext& ctx) {
  Query method(ctx.db());
  method.setSql(kMethodSql);
  method.open();
  return !method.eof() && method.asInteger("ISIFIFO") == kFifoMethod;
}

void runCosting(RunContext& ctx) {
  ctx.settings = ctx.settings.withRunModes();
  const StopScope scope;
  struct EndSnapshot {
    SessionState& state;
    ~EndSnapshot() { state.endPassSnapshot(); }
  } endSnapshot{ctx.state};
  const bool wholeRun = ctx.settings.anyAllAnew();
  try {
    dispatch(ctx);
  } catch (const RunStopped&) {
    // A run held whole was rolled back; in any other every line written is final, and goes in.
    ctx.commitIfActive();
    if (const std::string note = stoppedNote(ctx.reach, wholeRun); !note.empty()) ctx.log.AddProcessLine(note, false);
    ctx.log.AddProcessLine(kProcessStopped, false);
    throw;
  }
}

}  // namespace talvix
