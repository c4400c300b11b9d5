// autoiepcensad-run: the tool without a screen, for servers, scheduled jobs and tests. Loads
// libautoiepcensad.so, creates the window on the database the registry names, starts a run as the
// exported entry does and echoes the progress log to standard output, a line per write as the list
// shows it. Message boxes go to standard error and are not shown.
//   autoiepcensad-run [--passes N] [--unpriced FILE | --unpriced-only FILE]
// Exit status: 0 when the run returns (or after N FIFO passes), 1 when the database did not open,
// 2 for a bad command line or a library that cannot be loaded, 3 when the report was not written.
#include "shell/autoiepcensad_entry.h"
#include "tools/pass_limit.h"
#include "tools/unpriced_option.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr char kLibraryName[] = "libautoiepcensad.so";
constexpr char kUsage[] = "usage: autoiepcensad-run [--passes N] [--unpriced FILE | --unpriced-only FILE]\n";

struct Library {
  AutoIepCenSadCreateFn create;
  AutoIepCenSadMakePasizmFn makePasizm;
  AutoIepCenSadFreeFn free;
  AutoIepCenSadSetLineObserverFn setLineObserver;
  AutoIepCenSadSetBoxHandlerFn setBoxHandler;
  AutoIepCenSadInstallStopSignalsFn installStopSignals;
  AutoIepCenSadRequestStopFn requestStop;
};

struct Echo {
  talvix::tools::PassLimit limit;
  AutoIepCenSadRequestStopFn requestStop;
  bool ended = false;
};

bool parsePasses(int argc, char** argv, int& passes) {
  passes = 0;
  for (int index = 1; index < argc; ++index) {
    if (std::strcmp(argv[index], "--passes") != 0 || index + 1 >= argc) return false;
    char* end = nullptr;
    const long value = std::strtol(argv[++index], &end, 10);
    if (*end != '\0' || value < 1 || value > INT_MAX) return false;
    passes = static_cast<int>(value);
  }
  return true;
}

// The library beside this program first (the build and install layout), then the loader's search.
void* openLibrary() {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length > 0) {
    std::string path(self, static_cast<std::size_t>(length));
    path = path.substr(0, path.rfind('/') + 1) + kLibraryName;
    if (void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
  }
  return dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
}

template <typename Function>
bool find(void* handle, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(handle, name));
  if (!function) std::fprintf(stderr, "autoiepcensad-run: %s: %s\n", kLibraryName, dlerror());
  return function != nullptr;
}

bool load(void* handle, Library& library) {
  return find(handle, "AutoIepCenSadCreate", library.create) &&
         find(handle, "AutoIepCenSadMakePasizm", library.makePasizm) &&
         find(handle, "AutoIepCenSadFree", library.free) &&
         find(handle, "AutoIepCenSadSetLineObserver", library.setLineObserver) &&
         find(handle, "AutoIepCenSadSetBoxHandler", library.setBoxHandler) &&
         find(handle, "AutoIepCenSadInstallStopSignals", library.installStopSignals) &&
         find(handle, "AutoIepCenSadRequestStop", library.requestStop);
}

// After the last counted pass the run is asked to stop; what it logs while stopping is not echoed.
void echoLine(const char* line, const char* text, void* context) {
  auto& echo = *static_cast<Echo*>(context);
  if (echo.ended) return;
  std::fputs(line, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
  if (echo.limit.completes(text)) {
    echo.ended = true;
    echo.requestStop();
  }
}

void reportBox(int /*isError*/, const char* text, void* /*context*/) {
  std::fputs(text, stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

// Qt needs a platform; without a display there is no screen to show the window on.
void chooseOffscreenWithoutDisplay() {
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
}

}  // namespace

int main(int argc, char** argv) {
  int passes = 0;
  talvix::tools::UnpricedOption unpriced;
  if (!unpriced.take(argc, argv) || !parsePasses(argc, argv, passes)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  void* handle = openLibrary();
  if (!handle) {
    std::fprintf(stderr, "autoiepcensad-run: %s\n", dlerror());
    return 2;
  }
  Library library{};
  if (!load(handle, library)) return 2;

  chooseOffscreenWithoutDisplay();
  Echo echo{talvix::tools::PassLimit(passes), library.requestStop};
  library.setLineObserver(echoLine, &echo);
  library.setBoxHandler(reportBox, nullptr);

  const bool opened = library.create() != 0;
  // After the database opened: the database engine sets handlers of its own when it starts.
  library.installStopSignals();
  if (opened && unpriced.runs()) library.makePasizm();
  const bool reported = !opened || unpriced.write(handle);
  library.free();
  return opened ? (reported ? 0 : 3) : 1;
}
