#pragma once
// libautoiepcensad.so as the host loads it at run time: from the program's own folder (the build
// tree), else through the loader's search (the program's RPATH in the installed layout).
#include "shell/autoiepcensad_entry.h"

#include <string>

namespace talvix::tools {

struct HostLibrary {
  AutoIepCenSadUseDatabaseFn useDatabase;
  AutoIepCenSadCreateHeadlessFn createHeadless;
  AutoIepCenSadSetPeriodFn setPeriod;
  AutoIepCenSadMakePasizmFn makePasizm;
  AutoIepCenSadFreeFn free;
  AutoIepCenSadSetLineObserverFn setLineObserver;
  AutoIepCenSadSetBoxHandlerFn setBoxHandler;
  AutoIepCenSadInstallStopSignalsFn installStopSignals;
  AutoIepCenSadRequestStopFn requestStop;
  AutoIepCenSadWriteUnpricedFn writeUnpriced;
  AutoIepCenSadWritePreviewFn writePreview;
  AutoIepCenSadExplainFn explain;
  AutoIepCenSadRegisterDatabaseFn registerDatabase;
  AutoIepCenSadGetSettingsFn getSettings;
  AutoIepCenSadSetSettingsFn setSettings;
  AutoIepCenSadSaveSettingsFn saveSettings;
  AutoIepCenSadFifoCostingFn fifoCosting;
  AutoIepCenSadDatabaseFn database;
  AutoIepCenSadSetActivityObserverFn setActivityObserver;
  AutoIepCenSadProgressBeatsFn progressBeats;
};

// False with the loader's reason in error. A library beside the program that is there but does not
// load is that reason; the search is not tried then, so the cause is not hidden by another copy.
bool loadHostLibrary(HostLibrary& library, std::string& error);

}  // namespace talvix::tools
