#pragma once
// Everything one run works with, so the steps run without a window: the settings, the pricing
// library and its connection, the progress log, the registry, the sleeper, and the state kept from
// run to run (services filter, day-quantity tables, the weighted-average calculator). The session
// (shell/run_session.h) builds it for each run; tests build it directly.
#include "data/document_changes.h"
#include "data/pricing_library.h"
#include "data/record_operations.h"
#include "ledger/day_quantity_table.h"
#include "step/progress_log.h"
#include "step/quiet_lines.h"
#include "step/written_costs.h"
#include "step/run_settings.h"
#include "step/sleeper.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace talvix {

class RegistryStore;

// Kept between runs by whoever owns them (the session, or a test).
struct SessionState {
  std::string ServicesFilter;
  DayQuantityTable sqlDienDaudzums;       // outflow per goods, department and day
  DayQuantityTable sqlDienDaudzAtlikumi;  // goods-balance quantity per goods, department and day
  std::unique_ptr<TVidSvPasizm> average;  // created on first use, kept for the state's life
  // A continuous pass reads its documents and day quantities from one read-only snapshot taken at
  // its start, so a document another program commits meanwhile is priced whole by the next pass;
  // prices and writes stay on the connection's read-committed transaction. Null otherwise.
  std::unique_ptr<Transaction> passSnapshot;
  // What the last continuous pass's snapshot held, so the next can keep what it read.
  DocumentWatch watch;
  QuietLines quiet;
  WrittenCosts written;

  // The day-quantity table a FIFO kind's row names.
  DayQuantityTable& dayQuantities(FifoPricing::DayTable which) {
    return which == FifoPricing::DayTable::Balance ? sqlDienDaudzAtlikumi : sqlDienDaudzums;
  }

  // Before the connection closes or the run returns: the snapshot must not outlive either, and
  // nothing read through it is kept.
  void endPassSnapshot() noexcept {
    sqlDienDaudzums.clear();
    sqlDienDaudzAtlikumi.clear();
    passSnapshot.reset();
    watch.forget();
    quiet.clear();
    written.clear();
  }
  // Between the passes of a continuous run: the snapshot ends (no version held while nothing reads
  // it); what was read through it stays, for the next pass to keep if its documents are unchanged.
  void restBetweenPasses() noexcept {
    sqlDienDaudzums.dropPending();
    sqlDienDaudzAtlikumi.dropPending();
    passSnapshot.reset();
  }
};

// How far a run got, for the lines that say so when it is stopped before its end.
struct RunReach {
  bool pricing = false;   // a pass (or a weighted-average run) is under way
  bool wholeRun = false;  // its writes wait for one commit at its end (whole_run.h)
  DateTime day = 0;       // the day of the lines being priced; 0 before the first
};

// What only the run's owner can do for the dispatcher.
class DispatcherHost {
 public:
  virtual ~DispatcherHost() = default;
  virtual void SaveSettings() = 0;
  // A plain modal message box with an OK button.
  virtual void showMessage(const std::string& text) = 0;
  // The checks passed and the run prices now, by FIFO (continuous when no kind is on "all anew") or
  // by the weighted average; before its first line.
  virtual void runStarts(bool /*fifo*/) {}
  // A run or a continuous pass ended having changed costs: line is what the log closes it with,
  // brief the same in a few words (the count and the money).
  virtual void runSummed(const std::string& /*line*/, const std::string& /*brief*/) {}
};

struct RunContext {
  RunSettings settings;
  PricingLibrary& pricing;
  ProgressLog& log;
  RegistryStore& registry;
  Sleeper& sleeper;
  SessionState& state;
  DispatcherHost* host = nullptr;  // the dispatcher needs it; the steps do not
  // What a continuous run watches for others' writes while it rests; null: the monitoring tables.
  RecordOperations* recordOperations = nullptr;
  // A preview: the steps run on a held snapshot (nothing they write lasts), and write neither the
  // operation log nor the registry.
  bool preview = false;
  RunReach reach{};

  MainFormDati& data() { return pricing.mainFormDati(); }
  Connection& db() { return pricing.mainFormDati().PRECES_DB; }
  Transaction& tran() { return pricing.mainFormDati().PRECES_DB_TRAN; }
  // Where a step selects the lines it prices: the pass's snapshot, or null for the default one.
  Transaction* documents() { return state.passSnapshot.get(); }
  // The costs a continuous pass wrote, for look-ups to lay over its snapshot; null outside one.
  const WrittenCosts* writtenCosts() { return documents() ? &state.written : nullptr; }
  // Commits retaining when a transaction is open, unless the run's writes wait for its end.
  void commitIfActive() {
    if (!reach.wholeRun && tran().inTransaction()) tran().commitRetaining();
  }
  TVidSvPasizm& average() {
    if (!state.average) state.average = pricing.newVidSvPasizm();
    return *state.average;
  }
};

}  // namespace talvix
