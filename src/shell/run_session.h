#pragma once
// The tool's runs without a widget: the session opens the database the registry names (or the one
// asked for by name), holds the settings a run takes (the registry's, over the library's default
// period), saves them, and runs the costing run, the report of lines without cost, the preview and
// explain. It owns the registry store, the pricing library and the state kept between runs; its
// front (the window, or the headless front of autoiepcensad-run) shows what it says. Free of widgets.
#include "registry/registry_store.h"
#include "report/unpriced_report.h"
#include "step/cost_change.h"
#include "step/progress_log.h"
#include "step/run_context.h"
#include "step/run_settings.h"
#include "step/sleeper.h"

#include <QDate>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace talvix::shell {

// What a session needs from whoever shows it: the progress log, the plain message box and the wait.
class RunFront : public ProgressLog {
 public:
  virtual void showMessage(const std::string& text) = 0;
  virtual Sleeper& sleeper() = 0;
  // The checks passed and a run prices now (continuous: FIFO with no kind on "all anew"); called
  // before the run's first line.
  virtual void pricingStarts(bool /*continuous*/) {}
  // As DispatcherHost::runSummed.
  virtual void runSummed(const std::string& /*line*/, const std::string& /*brief*/) {}
};

class RunSession : public DispatcherHost {
 public:
  // On the registry file defaultRegistryPath() names. The settings start as a new window's controls
  // do: today for both days, every kind on "Nepiešķirt", every option off.
  explicit RunSession(RunFront& front);
  ~RunSession() override;

  // Before create: the database listed under this name rather than the one LastDBIndex chooses; a
  // name that is not listed fails the open, naming the listed ones.
  void useDatabase(const std::string& name) { requestedDatabase_ = name; }
  // Opens the database (on failure: the message, a termination request and nothing more), sets the
  // library's default period and loads the stored settings. An error loading them leaves what was
  // read before it and leaves here.
  void create();
  bool databaseOpen() const { return databaseOpen_; }
  // The database did not open, or a run was stopped from outside: the program is to end.
  bool terminateRequested() const { return terminateRequested_; }
  void requestTerminate() { terminateRequested_ = true; }
  // Throws when the database is not open.
  void requireOpen() const;
  // From now on the database is attached only while the session works (a run, a report, a check)
  // and detached between, so another program's embedded engine can open the file meanwhile. Each
  // work attaches again; a failure to is thrown with openFailureText's words.
  void detachWhileIdle();

  const RunSettings& settings() const { return settings_; }
  // Taken as they are, as the controls take them (a mode outside 0..2 stays).
  void setSettings(const RunSettings& settings) { settings_ = settings; }
  // The days as if typed into the period's pickers (period_days.h); false, changing nothing, for a
  // day the pickers cannot hold.
  bool typePeriod(QDate from, QDate to);

  // True, with the reason shown, when the settings would make a continuous run that prices nothing
  // for ever (nothing_to_price.h), as autoiepcensad-run refuses it. Throws as costsByFifo.
  bool refuseNothingToPrice();
  // The costing run (run/dispatcher.h) under the settings. Throws RunStopped when stopped from
  // outside, and what the run throws.
  void runCosting();
  // The period's lines still without cost; reads only. Throws when the database is not open or a
  // read fails.
  std::vector<UnpricedLine> unpricedLines();
  // What the costing run would change, run on a snapshot that is then rolled back (preview_run.h);
  // nullopt when a check refused the run (its message shown). Throws when the database is not open,
  // the run fails or is stopped (std::runtime_error); nothing is written either way.
  std::optional<CostChanges> previewChanges();
  // Why the line of that kind and key has, or would get, its cost (line_explain.h), with the kind's
  // mode 0 taken as 1. Reads only. Throws UnknownLine when no line has the key, else as
  // unpricedLines.
  std::string explainLine(DocumentKind kind, int isn);
  // Whether the database values stock by FIFO. Throws as unpricedLines.
  bool costsByFifo();

  // The registry's database names, sorted as LastDBIndex counts them.
  const std::vector<std::string>& databaseNames() const { return databaseNames_; }
  const std::string& databaseName() const { return databaseName_; }
  const std::string& connectionString() const { return connectionString_; }
  // Read when the database opened and at every run's start; unknown when the read failed.
  std::optional<bool> fifoMethod() const { return fifoMethod_; }
  PricingLibrary* pricing() const { return pricing_.get(); }
  SessionState& state() { return state_; }

  // DispatcherHost
  void SaveSettings() override;
  void showMessage(const std::string& text) override;
  void runStarts(bool fifo) override;
  void runSummed(const std::string& line, const std::string& brief) override { front_.runSummed(line, brief); }

 private:
  RunContext context(const RunSettings& settings);
  bool openDatabase(const std::string& connectionString);
  void failOpen(const std::string& error);
  void readMethod();

  // Attached for its lifetime (detachWhileIdle); nests.
  class Busy {
   public:
    explicit Busy(RunSession& session);
    ~Busy();
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

   private:
    RunSession& session_;
  };
  void attach();
  void detachIfIdle() noexcept;

  RunFront& front_;
  std::unique_ptr<RegistryStore> registry_;
  std::unique_ptr<PricingLibrary> pricing_;
  SessionState state_;
  RunSettings settings_;
  std::string requestedDatabase_;
  std::vector<std::string> databaseNames_;
  std::string databaseName_;
  std::string connectionString_;
  std::optional<bool> fifoMethod_;
  bool databaseOpen_ = false;
  bool terminateRequested_ = false;
  bool detachWhenIdle_ = false;
  int busy_ = 0;
};

// "FIFO" or "vidējā svērtā cena", as the log names the method.
const char* methodName(bool fifo);

}  // namespace talvix::shell
