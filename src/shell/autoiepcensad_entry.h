#pragma once
// The library's C entry points, for a program that loads libautoiepcensad.so at run time (dlopen)
// or links it. Call them from one thread, the one that is to own the window. They drive the window
// (AutoIepCenSadCreate), or the same session without one (AutoIepCenSadCreateHeadless); "the
// window's settings" below are then the session's. The C++ entry TAutoIepCenSad::DllCallMakePasizm
// and the pointer AutoIepCenSad are exported as well.
#include "shell/export.h"

extern "C" {

// Creates the application object when the process has none, then the window, running its creation
// handler. 1 when the database opened; 0 when not (its message has been shown, or handed to the box
// handler, and the program is to end). Calling it again while the window exists reports the same.
AUTOIEPCENSAD_EXPORT int AutoIepCenSadCreate(void);
// The same without a window, an application object or a screen: progress lines go to the line
// observer only, boxes to the box handler (else standard error), AutoIepCenSadShow does nothing, and
// AutoIepCenSadMakePasizm runs the assign button's action. Calling either again while one exists
// reports the same.
AUTOIEPCENSAD_EXPORT int AutoIepCenSadCreateHeadless(void);

// Before AutoIepCenSadCreate: the window opens the database listed under this name in the Bazes key
// instead of the one LastDBIndex chooses; an unknown name fails the open with the listed names.
// NULL or "" brings back LastDBIndex's choice.
AUTOIEPCENSAD_EXPORT void AutoIepCenSadUseDatabase(const char* name);

// After AutoIepCenSadCreate: the period, as if the two days were typed into the window's pickers
// (the run saves it with the other settings). 0, changing nothing, when there is no window or a day
// is not one the pickers hold.
AUTOIEPCENSAD_EXPORT int AutoIepCenSadSetPeriod(int fromYear, int fromMonth, int fromDay, int toYear, int toMonth,
                                                int toDay);

// The settings a run takes, as the window's controls hold them: the period's days, each kind's mode
// (0 "Nepiešķirt", 1 "Piešķirt tikai ar 0 pašizmaksu", 2 "Piešķirt visiem no jauna"; a stored value
// outside these is given as it is) and the four options (0 or 1).
typedef struct AutoIepCenSadSettings {
  int fromYear, fromMonth, fromDay, toYear, toMonth, toDay;
  int transfers, issues, returns, balances;
  int lastPurchasePrice;  // "Lietot pēdējo iepirkuma cenu, kas  nav 0"
  int firstSalePrice;     // "Pārv.un izrakst. iep.cena = 1. pārd,cena"
  int skipServices;       // "Neapstrādāt pakalpojumus"
  int serialLookup;       // "Meklēt pēc IMEI, ja ir (FIFO)"
} AutoIepCenSadSettings;

// After AutoIepCenSadCreate: the controls' settings. 0 when there is no window.
AUTOIEPCENSAD_EXPORT int AutoIepCenSadGetSettings(AutoIepCenSadSettings* settings);
// Puts the settings on the controls as if chosen there (the days as AutoIepCenSadSetPeriod takes
// them). 0, changing nothing, when there is no window, a day is not one the pickers hold or a mode
// is outside 0..2.
AUTOIEPCENSAD_EXPORT int AutoIepCenSadSetSettings(const AutoIepCenSadSettings* settings);
// Saves the controls' settings as the window does when it closes. 0 when saved; -1 when not (the
// error went to the error box).
AUTOIEPCENSAD_EXPORT int AutoIepCenSadSaveSettings(void);
// The database's costing method: 1 FIFO, 0 weighted average, -1 when it cannot be read (the error
// went to the error box).
AUTOIEPCENSAD_EXPORT int AutoIepCenSadFifoCosting(void);
// The database the session opened: its name in the registry file and its connection string (each
// cut to its size - 1 bytes). 0, or -1 before the session was made.
AUTOIEPCENSAD_EXPORT int AutoIepCenSadDatabase(char* name, int nameSize, char* connection, int connectionSize);

// Called on the run's thread with what the run does now: activity is a talvix::Activity
// (step/run_activity.h), value and text as it describes. NULL stops the calls.
typedef void (*AutoIepCenSadActivityObserver)(int activity, long long value, const char* text, void* context);
AUTOIEPCENSAD_EXPORT void AutoIepCenSadSetActivityObserver(AutoIepCenSadActivityObserver observer, void* context);
// A count that moves while the run works (rows read, lines priced, slices of its waits) and stands
// still when it hangs. Safe to call from any thread.
AUTOIEPCENSAD_EXPORT unsigned long long AutoIepCenSadProgressBeats(void);

// Shows the window (non-modal).
AUTOIEPCENSAD_EXPORT void AutoIepCenSadShow(void);

// AutoIepCenSad->DllCallMakePasizm(): shows the window and runs the assign button's action.
AUTOIEPCENSAD_EXPORT void AutoIepCenSadMakePasizm(void);

// SIGTERM and SIGINT ask a run to stop: it ends after its current line, the run's work committed, and
// the program is to end. While the window waits in a running message loop they close it as its
// close button does, settings saved. A second signal ends the process at once.
AUTOIEPCENSAD_EXPORT void AutoIepCenSadInstallStopSignals(void);
// Asks the same from inside the process (for example from a line observer).
AUTOIEPCENSAD_EXPORT void AutoIepCenSadRequestStop(void);

// Writes the report of the period's lines still without cost, under the window's settings, as CSV
// to path ("-": standard output) and copies its closing count by kind into summary (cut to
// summarySize - 1 bytes): a Latvian line, then the English line as its last. Reads only. 0 when written; -1 when not
// (the error went to the error box).
AUTOIEPCENSAD_EXPORT int AutoIepCenSadWriteUnpriced(const char* path, char* summary, int summarySize);

// Runs what the assign button would run under the window's settings without keeping anything (no
// cost, operation-log entry, setting or stamp lasts) and writes the lines whose cost would change as
// CSV to path ("-": standard output; a workbook adds the sheet of sums), copying the closing sums
// into summary: in Latvian by kind and by month, then the English line by kind as its last. 0 when written; 1 when
// a check refused the run (its message went to the box handler, nothing written); -1 when not (the
// error went to the error box).
AUTOIEPCENSAD_EXPORT int AutoIepCenSadWritePreview(const char* path, char* summary, int summarySize);

// Prints on standard output why the line of kind ("transfer", "issue", "return" or "balance") with
// key isn has, or would get, its cost under the window's settings (a kind in mode 0 taken as in 1):
// the line, its rule, the trail behind the price, what a run would write and what it holds. Reads
// only. 0 when printed; 2 when the kind is not one of those or no line has the key (the reason in
// message); -1 when it failed (the error went to the error box).
AUTOIEPCENSAD_EXPORT int AutoIepCenSadExplain(const char* kind, int isn, char* message, int messageSize);

// Lists path under name in the registry file's Bazes key and makes it the one LastDBIndex chooses,
// keeping every other value (the file is made, 0600, when missing). Needs no window. 0 with the
// file's path in message; -1 with the reason there, the file left as it was.
AUTOIEPCENSAD_EXPORT int AutoIepCenSadRegisterDatabase(const char* name, const char* path, char* message,
                                                       int messageSize);

// Deletes the window or the headless session, and the application object when AutoIepCenSadCreate
// made it.
AUTOIEPCENSAD_EXPORT void AutoIepCenSadFree(void);

// Called with every progress-log line as the list shows it, with the caller's text alone, and with
// replaced 1 when the line took the place of the list's last line.
typedef void (*AutoIepCenSadLineObserver)(const char* line, const char* text, int replaced, void* context);
AUTOIEPCENSAD_EXPORT void AutoIepCenSadSetLineObserver(AutoIepCenSadLineObserver observer, void* context);

// Receives every message box instead of the screen (isError: the standard error box); NULL shows
// them again.
typedef void (*AutoIepCenSadBoxHandler)(int isError, const char* text, void* context);
AUTOIEPCENSAD_EXPORT void AutoIepCenSadSetBoxHandler(AutoIepCenSadBoxHandler handler, void* context);

// Signatures for dlsym.
typedef int (*AutoIepCenSadCreateFn)(void);
typedef int (*AutoIepCenSadCreateHeadlessFn)(void);
typedef void (*AutoIepCenSadUseDatabaseFn)(const char*);
typedef int (*AutoIepCenSadSetPeriodFn)(int, int, int, int, int, int);
typedef void (*AutoIepCenSadShowFn)(void);
typedef void (*AutoIepCenSadMakePasizmFn)(void);
typedef void (*AutoIepCenSadFreeFn)(void);
typedef void (*AutoIepCenSadInstallStopSignalsFn)(void);
typedef void (*AutoIepCenSadRequestStopFn)(void);
typedef int (*AutoIepCenSadWriteUnpricedFn)(const char*, char*, int);
typedef int (*AutoIepCenSadExplainFn)(const char*, int, char*, int);
typedef int (*AutoIepCenSadWritePreviewFn)(const char*, char*, int);
typedef int (*AutoIepCenSadRegisterDatabaseFn)(const char*, const char*, char*, int);
typedef void (*AutoIepCenSadSetLineObserverFn)(AutoIepCenSadLineObserver, void*);
typedef void (*AutoIepCenSadSetBoxHandlerFn)(AutoIepCenSadBoxHandler, void*);
typedef int (*AutoIepCenSadGetSettingsFn)(AutoIepCenSadSettings*);
typedef int (*AutoIepCenSadSetSettingsFn)(const AutoIepCenSadSettings*);
typedef int (*AutoIepCenSadSaveSettingsFn)(void);
typedef int (*AutoIepCenSadFifoCostingFn)(void);
typedef int (*AutoIepCenSadDatabaseFn)(char*, int, char*, int);
typedef void (*AutoIepCenSadSetActivityObserverFn)(AutoIepCenSadActivityObserver, void*);
typedef unsigned long long (*AutoIepCenSadProgressBeatsFn)(void);
}

#ifdef __cplusplus
#include <cstddef>
#include <iterator>
// Each kind's mode field, in the order of the document kinds' rows (data/document_tables.h).
inline constexpr int AutoIepCenSadSettings::*const kAutoIepCenSadModeFields[] = {
    &AutoIepCenSadSettings::transfers, &AutoIepCenSadSettings::issues, &AutoIepCenSadSettings::returns,
    &AutoIepCenSadSettings::balances};
inline constexpr std::size_t kAutoIepCenSadModeCount = std::size(kAutoIepCenSadModeFields);
#endif
