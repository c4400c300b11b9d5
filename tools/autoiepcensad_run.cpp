// autoiepcensad-run: the tool without a screen, for servers, scheduled jobs and tests. Loads
// libautoiepcensad.so, creates the window on the database the registry names, starts a run as the
// exported entry does and echoes the progress log to standard output, shaped for a terminal or a
// journal (log_echo.h). Message boxes go to standard error and are not shown. Options, environment
// and exit statuses: host_options.h, or --help.
#include "tools/host_library.h"
#include "tools/host_options.h"
#include "tools/log_echo.h"
#include "tools/pass_limit.h"
#include "tools/unpriced_option.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace talvix::tools;

constexpr char kProgram[] = "autoiepcensad-run";
constexpr int kSummarySize = 1024;

void writeOut(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

struct Host {
  LogEcho echo;
  PassLimit limit;
  AutoIepCenSadRequestStopFn requestStop = nullptr;
  bool ended = false;     // the last counted pass is done; the stop's own lines are not echoed
  bool running = false;   // inside the run, where a plain box is a refusal
  bool errorBox = false;
  bool refused = false;
};

void echoLine(const char* line, const char* text, int replaced, void* context) {
  auto& host = *static_cast<Host*>(context);
  if (host.ended) return;
  host.echo.line(line, replaced != 0, LogEcho::Clock::now());
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
  std::fputs(text, stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

// Qt needs a platform; without a display there is no screen to show the window on.
void chooseOffscreenWithoutDisplay() {
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
}

// Without a login session (cron, a service, su -) there is no XDG_RUNTIME_DIR, and Qt warns on every
// start before falling back to /tmp/runtime-USER. The same folder, made as Qt would make it, keeps
// the journal clean; one that is not ours and private is left for Qt to judge.
void provideRuntimeDir() {
  if (std::getenv("XDG_RUNTIME_DIR")) return;
  const char* tmp = std::getenv("TMPDIR");
  const passwd* user = getpwuid(getuid());
  if (!user) return;
  const std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/runtime-" + user->pw_name;
  mkdir(folder.c_str(), 0700);
  struct stat status{};
  if (lstat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != getuid() ||
      (status.st_mode & 0777) != 0700)
    return;
  setenv("XDG_RUNTIME_DIR", folder.c_str(), 0);
}

EchoMode echoMode(const HostOptions& options) {
  if (options.verbose) return EchoMode::Verbose;
  return isatty(STDOUT_FILENO) ? EchoMode::Terminal : EchoMode::Stream;
}

int usageError(const std::string& error) {
  std::fprintf(stderr, "%s: %s\n%s", kProgram, error.c_str(), kHostSynopsis);
  return kExitUsage;
}

int registerDatabase(const Registration& registration, const HostLibrary& library) {
  char message[4096];
  if (library.registerDatabase(registration.name.c_str(), registration.path.c_str(), message, sizeof message) != 0) {
    std::fprintf(stderr, "%s: %s\n", kProgram, message);
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
    std::fprintf(stderr, "%s: --explain %s:%d: %s\n", kProgram, request.kind.c_str(), request.line, message);
  if (answer == 0) return kExitDone;
  return answer == 2 ? kExitUsage : kExitErrorBox;
}

int run(const HostOptions& options, const UnpricedOption& unpriced, const HostLibrary& library) {
  chooseOffscreenWithoutDisplay();
  provideRuntimeDir();
  Host host{LogEcho(echoMode(options), writeOut), PassLimit(options.passes), library.requestStop};
  library.setLineObserver(echoLine, &host);
  library.setBoxHandler(reportBox, &host);
  library.useDatabase(options.database.c_str());

  const bool opened = library.create() != 0;
  // After the database opened: the database engine sets handlers of its own when it starts.
  library.installStopSignals();
  int status = opened ? kExitDone : kExitNotOpened;
  if (opened && options.period) {
    const Period& period = *options.period;
    if (!library.setPeriod(static_cast<int>(period.from.year()), static_cast<unsigned>(period.from.month()),
                           static_cast<unsigned>(period.from.day()), static_cast<int>(period.to.year()),
                           static_cast<unsigned>(period.to.month()), static_cast<unsigned>(period.to.day())))
      status = usageError("--period: the window's date pickers do not take that period");
  }
  if (status == kExitDone && options.preview) return preview(*options.preview, host, library);
  if (status == kExitDone && options.explain) return explain(*options.explain, host, library);
  if (status == kExitDone && unpriced.runs()) {
    host.running = true;
    library.makePasizm();
    host.running = false;
  }
  host.echo.finish();
  const bool reported = status != kExitDone || unpriced.write(library.writeUnpriced);
  library.free();
  if (status != kExitDone) return status;
  if (host.errorBox || !reported) return kExitErrorBox;
  return host.refused ? kExitRefused : kExitDone;
}

}  // namespace

int main(int argc, char** argv) {
  UnpricedOption unpriced;
  if (!unpriced.take(argc, argv)) {
    std::fputs(kHostSynopsis, stderr);
    return kExitUsage;
  }
  const ParsedOptions parsed = parseHostOptions(argc, argv, localToday());
  if (!parsed.options) return usageError(parsed.error);
  if ((parsed.options->preview || parsed.options->explain) && unpriced.given())
    return usageError(
        "--preview and --explain write their own output; --unpriced and --unpriced-only do not go with them");
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
    std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
    return kExitUsage;
  }
  if (parsed.options->registration) return registerDatabase(*parsed.options->registration, library);
  return run(*parsed.options, unpriced, library);
}
