#pragma once
// TAutoIepCenSad, the tool's one window: the period, the mode of each document kind, the options,
// the assign and close buttons and the progress log. It is the front of a run session
// (run_session.h), which opens the database, holds the settings and runs; the window puts its
// controls' settings on the session before each thing it asks of it and shows the session's after
// creation. FormCreate creates the session; the assign button runs the costing run on the window's
// thread. The window owns its controls and the session. Its Delphi-named handlers
// (FormCreate, btPieskirsClick, BtCloseClick, DllCallMakePasizm) show any error that leaves them in
// the standard error box and return normally; a run stopped from outside (stop_request.h) ends
// the program instead. After a run the log has the focus. Once watchStopSignals has run, SIGTERM or SIGINT while the
// window waits for input closes it as its close button does (settings saved); one during a run stops the run, and one
// that comes after the run's last stop point closes the window when the run is over. During a run the controls are
// greyed and the person's input is dropped (run_input_gate.h) except the title bar's close, "Aizvērt" and Escape: each
// stops the run as a signal does; after the first two the window then closes as when idle, after Escape it stays open
// with "Process apturēts" last. A line under the options says that a run goes on and that Escape stops it, or since
// when a continuous run rests; beside "Process :" a bar counts the current step, or a resting run's last result shows.
// A run's first line names the database and the method. When no run holds it, the progress list's context menu copies
// or saves the log (the whole log headed by the day, database, period and method) and shows the lines without cost.
#include "report/unpriced_report.h"
#include "shell/export.h"
#include "shell/painting_sleeper.h"
#include "shell/run_session.h"
#include "step/cost_change.h"
#include "step/run_activity.h"
#include "step/run_settings.h"

#include <QDate>
#include <QElapsedTimer>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QProgressDialog;
class QPushButton;
class QSocketNotifier;
class QPoint;

namespace talvix {
class PricingLibrary;
namespace shell {
class DatePicker;
class ProgressList;
class ProgressMenu;
class UnpricedDialog;
class UnpricedReader;
class RadioGroup;
}  // namespace shell
}  // namespace talvix

class TAutoIepCenSad : public QWidget, public talvix::shell::RunFront {
  Q_OBJECT

 public:
  explicit TAutoIepCenSad(QWidget* parent = nullptr);
  ~TAutoIepCenSad() override;

  // Before FormCreate: open the database listed under this name rather than the one LastDBIndex
  // chooses; a name that is not listed fails the open, naming the listed ones.
  void useDatabase(const std::string& name) { session_.useDatabase(name); }
  // Opens the database (on failure: the message, a termination request and nothing more), sets the
  // default period and loads the stored settings.
  void FormCreate();
  // Puts the days into the pickers as if typed there (each keeps its time of day); false, changing
  // nothing, for a day the pickers cannot hold.
  bool typePeriod(QDate from, QDate to);
  bool databaseOpen() const { return session_.databaseOpen(); }
  // The database did not open (the program is to end without showing the window), or a run was
  // stopped from outside.
  bool terminateRequested() const { return session_.terminateRequested(); }

  // Shows the window (non-modal) and runs the assign button's action; returns when the run does.
  AUTOIEPCENSAD_EXPORT void DllCallMakePasizm();
  void btPieskirsClick();
  void BtCloseClick();
  // What was typed into the pickers and not yet taken goes in; false when a picker refused it.
  bool takeTypedPeriod();
  // The progress list's context menu and what it offers.
  void showProgressMenu(const QPoint& pos);
  void copyLog();
  void copyWholeLog();
  // Every line, headed by the day, the database, the period and the method.
  QStringList wholeLog() const;
  void saveLog();
  // Reads in the background (unpriced_reader.h) under a busy box that can cancel it, then opens the
  // dialog; both titled with the database and the period. Nothing while a run or a read goes on.
  void showUnpricedLines();
  // The busy box while the lines are read, and the dialog that shows them; null when none is open.
  QProgressDialog* unpricedBusy() const;
  talvix::shell::UnpricedDialog* unpricedShown() const;
  // "Rindas bez pašizmaksas — <database>, <from>–<to>"
  QString unpricedTitle() const;
  // The period's lines still without cost under the controls' settings; reads only. Throws when the
  // database is not open or a read fails.
  std::vector<talvix::UnpricedLine> unpricedLines();
  // What the assign button would change, run on a snapshot that is then rolled back (preview_run.h);
  // nullopt when a check refused the run (its message shown). Throws when the database is not open,
  // the run fails or is stopped (std::runtime_error); nothing is written either way.
  std::optional<talvix::CostChanges> previewChanges();
  // Why the line of that kind and key has, or would get, its cost (line_explain.h), under the
  // window's settings with the kind's mode 0 taken as 1. Reads only. Throws UnknownLine when no line
  // has the key, else as unpricedLines.
  std::string explainLine(talvix::DocumentKind kind, int isn);
  // Whether the database values stock by FIFO. Throws as unpricedLines.
  bool costsByFifo();
  // Those lines in the dialog that shows them, not yet shown; the caller owns it and ends it before
  // the window (its parent). Throws as unpricedLines.
  std::unique_ptr<talvix::shell::UnpricedDialog> unpricedDialog();

  // Saves the settings; the window then closes.
  void FormClose();

  // Hears the stop signals in the message loop; nothing before installStopSignals, once after.
  void watchStopSignals();

  void SaveSettings();
  // RunFront
  void showMessage(const std::string& text) override;
  talvix::Sleeper& sleeper() override { return sleeper_; }
  void pricingStarts(bool continuous) override;
  void runSummed(const std::string& line, const std::string& brief) override;
  void AddProcessLine(const std::string& text, bool replaceLast) override;
  void repaintWindow() override;
  void progress(Counting counting, std::int64_t done, std::int64_t total) override;

  talvix::RunSettings settingsFromControls() const;
  void showSettings(const talvix::RunSettings& settings);
  // The session with the controls' settings put on it.
  talvix::shell::RunSession& session();
  // The session's settings on the controls.
  void showSessionSettings() { showSettings(session_.settings()); }
  talvix::PricingLibrary* pricing() const { return session_.pricing(); }
  talvix::SessionState& state() { return session_.state(); }

  // The controls, named as their object names.
  QGroupBox* LaikaPeriods = nullptr;
  QLabel* Label1 = nullptr;
  talvix::shell::DatePicker* DatumsNo = nullptr;
  QLabel* Label2 = nullptr;
  talvix::shell::DatePicker* DatumsLidz = nullptr;
  QCheckBox* chkPedejaCena = nullptr;
  QCheckBox* chk1PardCena = nullptr;
  talvix::shell::RadioGroup* shParveitosana = nullptr;
  talvix::shell::RadioGroup* shIzrakstisana = nullptr;
  talvix::shell::RadioGroup* shAtgriezsana = nullptr;
  talvix::shell::RadioGroup* shAtlikumi = nullptr;
  // Every kind's group of modes, the named ones above among them.
  talvix::shell::RadioGroup* modeGroup(talvix::DocumentKind kind) const { return modeGroups_[talvix::kindIndex(kind)]; }
  QCheckBox* chkPakalpojumusNe = nullptr;
  QCheckBox* chkIMEI = nullptr;
  QPushButton* btPieskirs = nullptr;
  QPushButton* BtClose = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* lblDarbiba = nullptr;  // what the run does and how to stop it; hidden while none runs
  // Right of "Process :" during a run: the current step's count against its total once the run has
  // gone on for more than a moment, or while a continuous run rests, its last pass's result.
  QProgressBar* pbProcess = nullptr;
  QLabel* lblRezultats = nullptr;
  talvix::shell::ProgressList* lstProcess = nullptr;
  QComboBox* cmbDatuBaze = nullptr;
  talvix::shell::ProgressMenu* progressMenu = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void setUpWindow();
  void createPeriodControls();
  void createOptions();
  void createModeGroups();
  void createButtons();
  void createProgressLog();
  void createProgressMenu();
  void createDatabaseList();
  void setFocusOrder();
  void connectHandlers();
  void fitCaptions();
  void placeStatusRow();

  void create();
  void showCreated();
  void runDispatcher();
  void askStop();
  void stopKeepingWindow();
  void setRunning(bool running);
  void endAfterStop();
  void closeOnStopSignal();
  void centreOnScreen();
  void runActivity(talvix::Activity activity, long long value);
  void unpricedRead();
  void showResting();

  talvix::shell::PaintingSleeper sleeper_;
  talvix::shell::RunSession session_;
  talvix::PerKind<talvix::shell::RadioGroup*> modeGroups_{};
  QSocketNotifier* stopSignals_ = nullptr;
  bool running_ = false;
  bool closeAfterStop_ = false;   // the person closed the window during the run
  bool stoppedByEscape_ = false;  // the person pressed Escape during the run
  bool centred_ = false;
  QElapsedTimer sinceRepaint_;
  QElapsedTimer runClock_;  // since the run started
  QElapsedTimer sinceBar_;
  bool continuousRun_ = false;
  QString restingSince_;  // the time the run began to rest; empty while it works
  QString lastResult_;    // the brief of the last pass that changed costs, with its time
  std::unique_ptr<talvix::shell::UnpricedReader> unpricedReader_;
  QPointer<QProgressDialog> unpricedBusy_;
  QPointer<talvix::shell::UnpricedDialog> unpricedShown_;
  QString unpricedTitle_;  // of the read going on
};

// The window, once created.
extern AUTOIEPCENSAD_EXPORT TAutoIepCenSad* AutoIepCenSad;
