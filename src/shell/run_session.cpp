#include "shell/run_session.h"

#include "data/open_failure.h"
#include "pricing/library.h"
#include "report/line_explain.h"
#include "run/dispatcher.h"
#include "run/nothing_to_price.h"
#include "run/preview_run.h"
#include "shell/log_text.h"
#include "shell/period_days.h"
#include "shell/settings_store.h"
#include "step/stop_request.h"

#include <stdexcept>

namespace talvix::shell {
namespace {

constexpr char kPreviewStopped[] = "the preview was stopped; nothing was written";
constexpr char kFifoMethod[] = "FIFO";
constexpr char kAverageMethod[] = "vidējā svērtā cena";

std::string unknownDatabase(const std::string& name, const std::vector<std::string>& listed) {
  std::string names;
  for (const std::string& each : listed) names += (names.empty() ? "" : ", ") + each;
  return "database \"" + name + "\" is not listed in HKEY_CURRENT_USER\\" + kDatabasesKey +
         " (listed: " + (names.empty() ? "none" : names) + ")";
}

RunSettings newWindowSettings() {
  RunSettings settings;
  settings.dateFrom = todayLocal();
  settings.dateTo = todayLocal();
  return settings;
}

}  // namespace

const char* methodName(bool fifo) { return fifo ? kFifoMethod : kAverageMethod; }

RunSession::RunSession(RunFront& front)
    : front_(front), registry_(std::make_unique<RegFileStore>(defaultRegistryPath())), settings_(newWindowSettings()) {}

RunSession::~RunSession() = default;

void RunSession::create() {
  const bool named = !requestedDatabase_.empty();
  const DatabaseChoice database = named ? chooseDatabase(*registry_, requestedDatabase_) : chooseDatabase(*registry_);
  databaseNames_ = database.sortedNames;
  if (named && database.name.empty()) {
    failOpen(unknownDatabase(requestedDatabase_, database.sortedNames));
    return;
  }
  databaseName_ = database.name;
  connectionString_ = database.connectionString;
  if (!openDatabase(database.connectionString)) return;
  readMethod();
  const DateTime today = todayLocal();
  settings_.dateFrom = pricing_->DatNo(today);
  settings_.dateTo = pricing_->DatLidz(today);
  loadSettings(*registry_, settings_);
  state_.ServicesFilter.clear();
  detachIfIdle();
}

void RunSession::detachWhileIdle() {
  detachWhenIdle_ = true;
  detachIfIdle();
}

void RunSession::attach() {
  requireOpen();
  MainFormDati& data = pricing_->mainFormDati();
  if (data.PRECES_DB.connected()) return;
  try {
    data.connect();
  } catch (const std::exception& failure) {
    data.PRECES_DB.close();
    throw std::runtime_error(openFailureText(failure.what()));
  }
}

// Nothing read through the attachment outlives it.
void RunSession::detachIfIdle() noexcept {
  if (!detachWhenIdle_ || busy_ > 0 || !pricing_) return;
  MainFormDati& data = pricing_->mainFormDati();
  if (!data.PRECES_DB.connected()) return;
  state_.endPassSnapshot();
  try {
    data.PRECES_DB.close();
  } catch (const std::exception&) {
    // close() has released the handles; the next use attaches afresh.
  }
}

RunSession::Busy::Busy(RunSession& session) : session_(session) {
  ++session_.busy_;
  try {
    session_.attach();
  } catch (...) {
    --session_.busy_;
    throw;
  }
}

RunSession::Busy::~Busy() {
  --session_.busy_;
  session_.detachIfIdle();
}

bool RunSession::openDatabase(const std::string& connectionString) {
  std::string error;
  try {
    pricing_ = pricing::MainFormDatiDll();
    MainFormDati& data = pricing_->mainFormDati();
    data.PRECES_DB.close();
    data.PRECES_DB.setDatabaseName(connectionString);
    data.connect();
    databaseOpen_ = true;
    return true;
  } catch (const std::exception& failure) {
    error = failure.what();
  } catch (...) {
  }
  failOpen(error);
  return false;
}

// For the log's heading; the run reads it again when it starts.
void RunSession::readMethod() {
  try {
    RunContext run = context(settings_);
    fifoMethod_ = fifoCosting(run);
  } catch (const std::exception&) {
    fifoMethod_.reset();
  }
}

void RunSession::failOpen(const std::string& error) {
  front_.showMessage(openFailureText(error));
  terminateRequested_ = true;
}

void RunSession::requireOpen() const {
  if (!pricing_ || !databaseOpen_) throw std::runtime_error(kCannotOpenDatabase);
}

bool RunSession::typePeriod(QDate from, QDate to) {
  if (!periodDayHeld(from) || !periodDayHeld(to)) return false;
  settings_.dateFrom = typedDay(settings_.dateFrom, from);
  settings_.dateTo = typedDay(settings_.dateTo, to);
  return true;
}

RunContext RunSession::context(const RunSettings& settings) {
  return RunContext{settings, *pricing_, front_, *registry_, front_.sleeper(), state_, this};
}

bool RunSession::refuseNothingToPrice() {
  const RunSettings s = settings_.withRunModes();
  std::vector<int> modes;
  for (const DocumentKind kind : kAllKinds) modes.push_back(s.mode(kind));
  if (!pricesNothingForEver(modes, false, [this] { return costsByFifo(); })) return false;
  front_.showMessage(std::string(kNothingToPrice) + kChooseInWindow);
  return true;
}

void RunSession::runCosting() {
  const Busy busy(*this);
  RunContext run = context(settings_);
  talvix::runCosting(run);
}

std::vector<UnpricedLine> RunSession::unpricedLines() {
  const Busy busy(*this);
  RunContext run = context(settings_.withRunModes());
  return listUnpricedLines(run, fifoCosting(run));
}

std::optional<CostChanges> RunSession::previewChanges() {
  const Busy busy(*this);
  RunContext run = context(settings_);
  try {
    return previewRun(run);
  } catch (const RunStopped&) {
    throw std::runtime_error(kPreviewStopped);
  }
}

std::string RunSession::explainLine(DocumentKind kind, int isn) {
  const Busy busy(*this);
  RunContext run = context(settings_.withRunModes());
  if (run.settings.mode(kind) == kSkip) run.settings.mode(kind) = kOnlyWithoutCost;
  return talvix::explainLine(run, fifoCosting(run), kind, isn);
}

bool RunSession::costsByFifo() {
  const Busy busy(*this);
  RunContext run = context(settings_);
  return fifoCosting(run);
}

void RunSession::SaveSettings() { saveSettings(*registry_, settings_); }

void RunSession::showMessage(const std::string& text) { front_.showMessage(text); }

void RunSession::runStarts(bool fifo) {
  fifoMethod_ = fifo;
  front_.pricingStarts(fifo && !settings_.withRunModes().anyAllAnew());
  front_.AddProcessLine(
      runStartText(QString::fromStdString(databaseName_), QString::fromUtf8(methodName(fifo))).toStdString(), false);
}

}  // namespace talvix::shell
