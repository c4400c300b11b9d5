#include "tools/host_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace talvix::tools {
namespace {

constexpr char kLibraryName[] = "libautoiepcensad.so";

std::string besideProgram() {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return {};
  const std::string path(self, static_cast<std::size_t>(length));
  return path.substr(0, path.rfind('/') + 1) + kLibraryName;
}

void* openLibrary(std::string& error) {
  const std::string beside = besideProgram();
  if (!beside.empty()) {
    if (void* handle = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
    const std::string reason = dlerror();
    if (access(beside.c_str(), F_OK) == 0) {
      error = reason;
      return nullptr;
    }
  }
  void* handle = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
  if (!handle) error = dlerror();
  return handle;
}

template <typename Function>
bool find(void* handle, const char* name, Function& function, std::string& error) {
  function = reinterpret_cast<Function>(dlsym(handle, name));
  if (!function) error = std::string(kLibraryName) + ": " + dlerror();
  return function != nullptr;
}

}  // namespace

bool loadHostLibrary(HostLibrary& library, std::string& error) {
  void* handle = openLibrary(error);
  return handle && find(handle, "AutoIepCenSadUseDatabase", library.useDatabase, error) &&
         find(handle, "AutoIepCenSadCreateHeadless", library.createHeadless, error) &&
         find(handle, "AutoIepCenSadSetPeriod", library.setPeriod, error) &&
         find(handle, "AutoIepCenSadMakePasizm", library.makePasizm, error) &&
         find(handle, "AutoIepCenSadFree", library.free, error) &&
         find(handle, "AutoIepCenSadSetLineObserver", library.setLineObserver, error) &&
         find(handle, "AutoIepCenSadSetBoxHandler", library.setBoxHandler, error) &&
         find(handle, "AutoIepCenSadInstallStopSignals", library.installStopSignals, error) &&
         find(handle, "AutoIepCenSadRequestStop", library.requestStop, error) &&
         find(handle, "AutoIepCenSadWriteUnpriced", library.writeUnpriced, error) &&
         find(handle, "AutoIepCenSadWritePreview", library.writePreview, error) &&
         find(handle, "AutoIepCenSadExplain", library.explain, error) &&
         find(handle, "AutoIepCenSadRegisterDatabase", library.registerDatabase, error) &&
         find(handle, "AutoIepCenSadGetSettings", library.getSettings, error) &&
         find(handle, "AutoIepCenSadSetSettings", library.setSettings, error) &&
         find(handle, "AutoIepCenSadSaveSettings", library.saveSettings, error) &&
         find(handle, "AutoIepCenSadFifoCosting", library.fifoCosting, error) &&
         find(handle, "AutoIepCenSadDatabase", library.database, error) &&
         find(handle, "AutoIepCenSadSetActivityObserver", library.setActivityObserver, error) &&
         find(handle, "AutoIepCenSadProgressBeats", library.progressBeats, error);
}

}  // namespace talvix::tools
