// autoiepcensad-run: the tool without a screen, for servers, scheduled jobs and tests. Loads
// libautoiepcensad.so, creates its session without a window (no Qt platform needed) on the
// database the registry names, starts a run as the exported entry does and echoes the progress log
// to standard output, shaped for a terminal or a journal (log_echo.h). Message boxes go to standard
// error. Under systemd it reports READY, its status and watchdog pings, and gives each journal line
// its priority. Options, environment and exit statuses: host_options.h, or --help.
#include "run/nothing_to_price.h"
#include "tools/host_library.h"
#include "tools/host_options.h"
#include "tools/host_settings.h"
#include "tools/journal_priority.h"
#include "tools/log_echo.h"
#include "tools/pass_limit.h"
#include "tools/service_status.h"
#include "tools/unpriced_option.h"
#include "tools/watchdog.h"

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

using namespace talvix::tools;

constexpr char kProgram[] = "autoiepcensad-run";
constexpr int kSummarySize = 16384;

void writeOut(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

bool errorsToJournal() {
  static const bool journal = isJournalStream(STDERR_FILENO);
  return journal;
}

void writeError(const std::string& text, int priority = kPriorityError) {
  std::fputs(withPriority(text, priority, errorsToJournal()).c_str(), stderr);
  std::fflush(stderr);
}

struct Host {
  LogEcho echo;
  PassLimit limit;
  AutoIepCenSadRequestStopFn requestStop = nullptr;
  ServiceStatus* service = nullptr;
  bool outputToJournal = false;
  bool ended = false;    // the last counted pass is done; the stop's own lines are not echoed
  bool running = false;  // inside the run, where a plain box is a refusal
  bool errorBox = false;
  bool refused = false;
  bool stopped = false;  // the run ended by a stop the pass limit did not ask for
};

constexpr char kProcessStopped[] = "Process apturēts";

void echoLine(const char* line, const char* text, int replaced, void* context) {
  auto& host = *static_cast<Host*>(context);
  if (host.ended) return;
  if (std::string_view(text) == kProcessStopped) host.stopped = true;
  const int priority = host.service->linePriority();
  host.echo.line(withPriority(line, priority, host.outputToJournal), replaced != 0, LogEcho::Clock::now());
  if (host.limit.completes(text)) {
    host.ended = true;
    host.requestStop();
  }
}

void reportBox(int isError, const char* text, void* context) {
  auto& host = *static_cast<Host*>(context);
  // Only the run's own boxes decide the exit status: an error box from creation (a stored setting
  // of the wrong type) leaves defaults, and the run goes on.
  if (host.running) (isError ? host.errorBox : host.refused) = true;
  host.echo.finish();
  writeError(std::string(text) + '\n', isError ? kPriorityError : kPriorityWarning);
}

void onActivity(int activity, long long value, const char* text, void* context) {
  auto& host = *static_cast<Host*>(context);
  host.service->activity(static_cast<talvix::Activity>(activity), value, text ? text : "", ServiceStatus::Clock::now());
}

EchoMode echoMode(const HostOptions& options) {
  if (options.verbose) return EchoMode::Verbose;
  return isatty(STDOUT_FILENO) ? EchoMode::Terminal : EchoMode::Stream;
}

int usageError(const std::string& error) {
  writeError(std::string(kProgram) + ": " + error + "\n" + kHostSynopsis);
  return kExitUsage;
}

int registerDatabase(const Registration& registration, const HostLibrary& library) {
  char message[4096];
  if (library.registerDatabase(registration.name.c_str(), registration.path.c_str(), message, sizeof message) != 0) {
    writeError(std::string(kProgram) + ": " + message + "\n");
    return kExitErrorBox;
  }
  std::printf("Registered %s as \"%s\" in %s\n", registration.path.c_str(), registration.name.c_str(), message);
  return kExitDone;
}

// The library's answer: 0 written, 1 refused, -1 failed (the boxes went to standard error).
int preview(const std::string& file, Host& host, const HostLibrary& library) {
  char summary[kSummarySize] = {};
  host.running = true;
  const int written = library.writePreview(file.c_str(), summary, kSummarySize);
  host.running = false;
  host.echo.finish();
  library.free();
  if (written != 0) return written > 0 ? kExitRefused : kExitErrorBox;
  std::puts(summary);
  std::fflush(stdout);
  return kExitDone;
}

// The library's answer: 0 printed, 2 no such line (the reason in message), -1 failed.
int explain(const ExplainRequest& request, Host& host, const HostLibrary& library) {
  char message[kSummarySize] = {};
  host.running = true;
  const int answer = library.explain(request.kind.c_str(), request.line, message, kSummarySize);
  host.running = false;
  library.free();
  if (answer == 2)
    writeError(std::string(kProgram) + ": --explain " + request.kind + ":" + std::to_string(request.line) + ": " +
               message + "\n");
  if (answer == 0) return kExitDone;
  return answer == 2 ? kExitUsage : kExitErrorBox;
}

// The period and the settings given on the command line, on the session's settings.
int applySettings(const HostOptions& options, const HostLibrary& library) {
  if (!options.period && !options.settings.any()) return kExitDone;
  AutoIepCenSadSettings settings{};
  library.getSettings(&settings);
  settings = withChanges(settings, options.period, options.settings);
  if (!library.setSettings(&settings)) return usageError("--period: the window's date pickers do not take that period");
  return kExitDone;
}

// Saves what was given, as the window saves its settings, and prints what a run would use.
int showSettings(const HostOptions& options, const HostLibrary& library) {
  const bool saved = (!options.period && !options.settings.any()) || library.saveSettings() == 0;
  AutoIepCenSadSettings settings{};
  library.getSettings(&settings);
  char name[kSummarySize] = {};
  char connection[kSummarySize] = {};
  library.database(name, kSummarySize, connection, kSummarySize);
  std::fputs((databaseRows(name, connection) + settingsRows(settings, library.fifoCosting())).c_str(), stdout);
  std::fflush(stdout);
  library.free();
  return saved ? kExitDone : kExitErrorBox;
}

// The refusal the window makes too (nothing_to_price.h); --passes ends the run by itself.
bool continuousRunPricesNothing(const HostOptions& options, const HostLibrary& library) {
  AutoIepCenSadSettings s{};
  if (!library.getSettings(&s)) return false;
  std::vector<int> modes;
  for (const auto field : kAutoIepCenSadModeFields) modes.push_back(s.*field);
  return talvix::pricesNothingForEver(modes, options.passes != 0, [&] { return library.fifoCosting() == 1; });
}

// Any mode 2, --passes N or the weighted average: a stop before its end leaves its work undone.
bool runEndsByItself(const HostOptions& options, const HostLibrary& library) {
  AutoIepCenSadSettings settings{};
  return options.passes != 0 || library.fifoCosting() != 1 || !library.getSettings(&settings) ||
         assignsAnyAnew(settings);
}

// How a person at the shell chooses what to price.
constexpr char kChooseOnCommandLine[] =
    " Izvēlieties ar --transfers, --issues, --returns vai --balances (1: tikai rindas bez pašizmaksas); "
    "iestatījumus rāda --show-settings.";

int run(const HostOptions& options, const UnpricedOption& unpriced, const HostLibrary& library) {
  const std::unique_ptr<ServiceManager> manager = systemdManager();
  ServiceStatus service(*manager);
  Host host{LogEcho(echoMode(options), writeOut), PassLimit(options.passes), library.requestStop, &service,
            isJournalStream(STDOUT_FILENO)};
  library.setLineObserver(echoLine, &host);
  library.setBoxHandler(reportBox, &host);
  library.setActivityObserver(onActivity, &host);
  library.useDatabase(options.database.c_str());

  const bool opened = library.createHeadless() != 0;
  // After the database opened: the database engine sets handlers of its own when it starts.
  library.installStopSignals();
  int status = opened ? applySettings(options, library) : kExitNotOpened;
  if (status == kExitDone && options.showSettings) return showSettings(options, library);
  if (status == kExitDone && options.preview) return preview(*options.preview, host, library);
  if (status == kExitDone && options.explain) return explain(*options.explain, host, library);
  if (status == kExitDone && unpriced.runs() && continuousRunPricesNothing(options, library)) {
    writeError(std::string(kProgram) + ": " + talvix::kNothingToPrice + kChooseOnCommandLine + "\n");
    status = kExitUsage;
  }
  bool endsByItself = false;
  if (status == kExitDone && unpriced.runs()) {
    endsByItself = runEndsByItself(options, library);
    service.ready(options.database.empty() ? "chosen by LastDBIndex" : "\"" + options.database + "\"");
    const Watchdog watchdog(*manager, library.progressBeats);
    host.running = true;
    library.makePasizm();
    host.running = false;
  }
  host.echo.finish();
  const bool reported = status != kExitDone || unpriced.write(library.writeUnpriced);
  library.setActivityObserver(nullptr, nullptr);
  library.free();
  const int code = status != kExitDone            ? status
                   : host.errorBox || !reported   ? kExitErrorBox
                   : host.refused                 ? kExitRefused
                   : host.stopped && endsByItself ? kExitStopped
                                                  : kExitDone;
  service.stopping(code == kExitDone
                       ? "Ended"
                       : "Ended with exit status " + std::to_string(code) + "; the reason is in the journal");
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  UnpricedOption unpriced;
  if (!unpriced.take(argc, argv)) {
    writeError(kHostSynopsis);
    return kExitUsage;
  }
  const ParsedOptions parsed = parseHostOptions(argc, argv, localToday());
  if (!parsed.options) return usageError(parsed.error);
  if ((parsed.options->preview || parsed.options->explain || parsed.options->showSettings) && unpriced.given())
    return usageError(
        "--preview, --explain and --show-settings write their own output; --unpriced and --unpriced-only do not go "
        "with them");
  if (parsed.options->registration && unpriced.given())
    return usageError("--register takes a name and a path, and no other option");
  if (parsed.options->help) {
    std::fputs(kHostSynopsis, stdout);
    std::fputs(kHostHelp, stdout);
    return kExitDone;
  }
  HostLibrary library{};
  std::string error;
  if (!loadHostLibrary(library, error)) {
    writeError(std::string(kProgram) + ": " + error + "\n");
    return kExitUsage;
  }
  if (parsed.options->registration) return registerDatabase(*parsed.options->registration, library);
  return run(*parsed.options, unpriced, library);
}
