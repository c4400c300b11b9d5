#include "shell/autoiepcensad_entry.h"

#include "data/date_time.h"
#include "data/progress_beat.h"
#include "report/line_explain.h"
#include "report/preview_csv.h"
#include "report/preview_summary.h"
#include "report/unpriced_csv.h"
#include "shell/auto_iep_cen_sad.h"
#include "shell/headless_front.h"
#include "shell/message_boxes.h"
#include "shell/progress_list.h"
#include "shell/qt_translations.h"
#include "shell/settings_store.h"
#include "step/run_activity.h"
#include "step/stop_request.h"

#include <QApplication>

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>

using namespace talvix::shell;

static_assert(kAutoIepCenSadModeCount == talvix::kKindCount, "a mode field for every kind, in the rows' order");

namespace {

// The application object this library made for a host without one.
QApplication* ownApplication = nullptr;
// The database a host asked for by name; empty: LastDBIndex's.
std::string requestedDatabase;
// The front a host without a window made (AutoIepCenSadCreateHeadless).
std::unique_ptr<HeadlessFront> headless;

// What the entries drive: the window, or the headless front.
class EntryFront {
 public:
  virtual ~EntryFront() = default;
  // The session with the front's settings on it.
  virtual talvix::shell::RunSession& session() = 0;
  // Shows what was put on the session's settings from outside.
  virtual void settingsChanged() = 0;
  virtual void showError(const std::string& text) = 0;
  virtual std::optional<talvix::CostChanges> previewChanges() = 0;
  virtual void show() = 0;
  virtual void makePasizm() = 0;
  virtual void watchStopSignals() = 0;
};

class WindowEntry : public EntryFront {
 public:
  talvix::shell::RunSession& session() override { return AutoIepCenSad->session(); }
  void settingsChanged() override { AutoIepCenSad->showSessionSettings(); }
  void showError(const std::string& text) override { showErrorBox(AutoIepCenSad, text); }
  // The window greys its controls meanwhile.
  std::optional<talvix::CostChanges> previewChanges() override { return AutoIepCenSad->previewChanges(); }
  void show() override { AutoIepCenSad->show(); }
  void makePasizm() override { AutoIepCenSad->DllCallMakePasizm(); }
  void watchStopSignals() override { AutoIepCenSad->watchStopSignals(); }
};

class HeadlessEntry : public EntryFront {
 public:
  talvix::shell::RunSession& session() override { return headless->session(); }
  void settingsChanged() override {}
  void showError(const std::string& text) override { headless->showError(text); }
  std::optional<talvix::CostChanges> previewChanges() override { return headless->session().previewChanges(); }
  void show() override {}
  void makePasizm() override { headless->runCosting(); }
  // Without a message loop a signal is heard by the run alone.
  void watchStopSignals() override {}
};

// Null when neither exists.
EntryFront* front() {
  static WindowEntry window;
  static HeadlessEntry headlessEntry;
  if (headless) return &headlessEntry;
  return AutoIepCenSad ? &window : nullptr;
}

void ensureApplication() {
  if (QCoreApplication::instance()) return;
  static int argc = 1;
  static char name[] = "autoiepcensad";
  static char* argv[] = {name, nullptr};
  ownApplication = new QApplication(argc, argv);
}

bool guarded(EntryFront& entry, const std::function<void()>& handler) {
  return runShowingErrors([&entry](const std::string& text) { entry.showError(text); }, handler);
}

// Cut to size - 1 bytes, always terminated.
void copyText(const std::string& text, char* buffer, int size) {
  if (!buffer || size <= 0) return;
  const std::size_t length = std::min(text.size(), static_cast<std::size_t>(size - 1));
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

}  // namespace

extern "C" {

int AutoIepCenSadCreate(void) {
  if (!front()) {
    ensureApplication();
    loadQtTranslations(QLocale::system());
    auto* window = new TAutoIepCenSad();
    window->useDatabase(requestedDatabase);
    window->FormCreate();
    window->watchStopSignals();
  }
  return front()->session().databaseOpen() ? 1 : 0;
}

int AutoIepCenSadCreateHeadless(void) {
  if (!front()) {
    headless = std::make_unique<HeadlessFront>();
    headless->session().useDatabase(requestedDatabase);
    headless->create();
  }
  return front()->session().databaseOpen() ? 1 : 0;
}

void AutoIepCenSadUseDatabase(const char* name) { requestedDatabase = name ? name : ""; }

int AutoIepCenSadSetPeriod(int fromYear, int fromMonth, int fromDay, int toYear, int toMonth, int toDay) {
  if (!front()) return 0;
  if (!front()->session().typePeriod(QDate(fromYear, fromMonth, fromDay), QDate(toYear, toMonth, toDay))) return 0;
  front()->settingsChanged();
  return 1;
}

int AutoIepCenSadGetSettings(AutoIepCenSadSettings* out) {
  if (!front() || !out) return 0;
  const talvix::RunSettings settings = front()->session().settings();
  talvix::decodeDate(settings.dateFrom, out->fromYear, out->fromMonth, out->fromDay);
  talvix::decodeDate(settings.dateTo, out->toYear, out->toMonth, out->toDay);
  for (const talvix::DocumentKind kind : talvix::kAllKinds)
    out->*kAutoIepCenSadModeFields[talvix::kindIndex(kind)] = settings.mode(kind);
  out->lastPurchasePrice = settings.lastPurchasePrice ? 1 : 0;
  out->firstSalePrice = settings.firstSalePrice ? 1 : 0;
  out->skipServices = settings.skipServices ? 1 : 0;
  out->serialLookup = settings.serialLookup ? 1 : 0;
  return 1;
}

int AutoIepCenSadSetSettings(const AutoIepCenSadSettings* in) {
  if (!front() || !in) return 0;
  for (const auto field : kAutoIepCenSadModeFields)
    if (in->*field < talvix::kSkip || in->*field > talvix::kAllAnew) return 0;
  talvix::shell::RunSession& session = front()->session();
  if (!session.typePeriod(QDate(in->fromYear, in->fromMonth, in->fromDay), QDate(in->toYear, in->toMonth, in->toDay)))
    return 0;
  talvix::RunSettings settings = session.settings();
  for (const talvix::DocumentKind kind : talvix::kAllKinds)
    settings.mode(kind) = in->*kAutoIepCenSadModeFields[talvix::kindIndex(kind)];
  settings.lastPurchasePrice = in->lastPurchasePrice != 0;
  settings.firstSalePrice = in->firstSalePrice != 0;
  settings.skipServices = in->skipServices != 0;
  settings.serialLookup = in->serialLookup != 0;
  session.setSettings(settings);
  front()->settingsChanged();
  return 1;
}

int AutoIepCenSadSaveSettings(void) {
  EntryFront* entry = front();
  if (!entry) return -1;
  return guarded(*entry, [entry] { entry->session().SaveSettings(); }) ? 0 : -1;
}

int AutoIepCenSadFifoCosting(void) {
  EntryFront* entry = front();
  if (!entry) return -1;
  int fifo = -1;
  guarded(*entry, [&] { fifo = entry->session().costsByFifo() ? 1 : 0; });
  return fifo;
}

int AutoIepCenSadDatabase(char* name, int nameSize, char* connection, int connectionSize) {
  EntryFront* entry = front();
  if (!entry) return -1;
  copyText(entry->session().databaseName(), name, nameSize);
  copyText(entry->session().connectionString(), connection, connectionSize);
  return 0;
}

void AutoIepCenSadSetActivityObserver(AutoIepCenSadActivityObserver observer, void* context) {
  if (!observer) {
    talvix::setActivityObserver({});
    return;
  }
  talvix::setActivityObserver([observer, context](talvix::Activity activity, long long value, const std::string& text) {
    observer(static_cast<int>(activity), value, text.c_str(), context);
  });
}

unsigned long long AutoIepCenSadProgressBeats(void) { return talvix::progressBeats(); }

void AutoIepCenSadShow(void) {
  if (front()) front()->show();
}

void AutoIepCenSadMakePasizm(void) {
  if (front()) front()->makePasizm();
}

void AutoIepCenSadInstallStopSignals(void) {
  talvix::installStopSignals();
  if (front()) front()->watchStopSignals();
}

void AutoIepCenSadRequestStop(void) { talvix::requestStop(); }

int AutoIepCenSadWriteUnpriced(const char* path, char* summary, int summarySize) {
  EntryFront* entry = front();
  if (!entry || !path) return -1;
  try {
    talvix::shell::RunSession& session = entry->session();
    const auto lines = session.unpricedLines();
    talvix::writeReport(
        path, [&] { return talvix::unpricedCsv(lines); },
        [&] { return std::vector<talvix::Sheet>{talvix::unpricedSheet(lines)}; });
    // The Latvian line for the person, the English one last for the scripts that read it.
    copyText(talvix::latvianUnpricedSummary(lines, session.settings()) + "\n" +
                 talvix::unpricedSummary(lines, session.settings()),
             summary, summarySize);
    return 0;
  } catch (const std::exception& error) {
    entry->showError(error.what());
    return -1;
  }
}

int AutoIepCenSadWritePreview(const char* path, char* summary, int summarySize) {
  EntryFront* entry = front();
  if (!entry || !path) return -1;
  try {
    const auto changes = entry->previewChanges();
    if (!changes) return 1;
    const talvix::RunSettings settings = entry->session().settings().withRunModes();
    const talvix::PreviewSums sums = talvix::previewSums(*changes, settings);
    talvix::writeReport(
        path, [&] { return talvix::previewCsv(*changes); },
        [&] {
          return std::vector<talvix::Sheet>{talvix::previewSheet(*changes), talvix::previewSummarySheet(sums)};
        });
    copyText(talvix::latvianPreviewSummary(sums) + "\n" + talvix::previewSummary(*changes, settings), summary,
             summarySize);
    return 0;
  } catch (const std::exception& error) {
    entry->showError(error.what());
    return -1;
  }
}

int AutoIepCenSadExplain(const char* kind, int isn, char* message, int messageSize) {
  const auto* known = std::find_if(std::begin(talvix::kDocumentKinds), std::end(talvix::kDocumentKinds),
                                   [kind](const auto& row) { return kind && std::strcmp(kind, row.names.word) == 0; });
  if (known == std::end(talvix::kDocumentKinds)) {
    copyText("unknown kind '" + std::string(kind ? kind : "") + "': transfer, issue, return or balance", message,
             messageSize);
    return 2;
  }
  EntryFront* entry = front();
  if (!entry) return -1;
  try {
    talvix::writeReportFile("-", entry->session().explainLine(known->kind, isn));
    return 0;
  } catch (const talvix::UnknownLine& unknown) {
    copyText(unknown.what(), message, messageSize);
    return 2;
  } catch (const std::exception& error) {
    entry->showError(error.what());
    return -1;
  }
}

int AutoIepCenSadRegisterDatabase(const char* name, const char* path, char* message, int messageSize) {
  talvix::RegFileStore store(talvix::defaultRegistryPath());
  try {
    if (!name || !*name || !path || !*path) throw talvix::RegistryError("a name and a path are needed");
    registerDatabase(store, name, path);
    copyText(store.filePath(), message, messageSize);
    return 0;
  } catch (const std::exception& error) {
    const std::string reason = error.what();
    // The parser's reasons name the file already.
    copyText(reason.rfind(store.filePath(), 0) == 0 ? reason : store.filePath() + ": " + reason, message, messageSize);
    return -1;
  }
}

void AutoIepCenSadFree(void) {
  headless.reset();
  delete AutoIepCenSad;
  delete ownApplication;
  ownApplication = nullptr;
}

void AutoIepCenSadSetLineObserver(AutoIepCenSadLineObserver observer, void* context) {
  if (!observer) {
    setLineObserver({});
    return;
  }
  setLineObserver([observer, context](const std::string& line, const std::string& text, bool replaced) {
    observer(line.c_str(), text.c_str(), replaced ? 1 : 0, context);
  });
}

void AutoIepCenSadSetBoxHandler(AutoIepCenSadBoxHandler handler, void* context) {
  if (!handler) {
    setBoxHandler({});
    return;
  }
  setBoxHandler([handler, context](BoxKind kind, const std::string& text) {
    handler(kind == BoxKind::Error ? 1 : 0, text.c_str(), context);
  });
}

}  // extern "C"
