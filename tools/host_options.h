#pragma once
// The command line of autoiepcensad-run, read without touching anything: either the options or the
// reason they are refused (a usage error, exit 2). Also the usage text --help prints.
#include "data/date_time.h"
#include "data/document_tables.h"

#include <chrono>

#include <optional>
#include <string>

namespace talvix::tools {

// Exit statuses of the host.
inline constexpr int kExitDone = 0;
inline constexpr int kExitNotOpened = 1;  // the database did not open
inline constexpr int kExitUsage = 2;      // bad command line, or the library cannot be loaded
inline constexpr int kExitErrorBox = 3;   // the run ended in an error, or a file could not be written
inline constexpr int kExitRefused = 4;    // the run was refused (blocked days, weighted average over 100 days)
inline constexpr int kExitStopped = 5;    // a run that ends by itself was stopped before its end

struct Period {
  std::chrono::year_month_day from;
  std::chrono::year_month_day to;
};

// --register NAME PATH: list a database in the registry file instead of running.
struct Registration {
  std::string name;
  std::string path;  // a relative file path made absolute; host/port:path as given
};

// --explain KIND:LINE: why one line has its cost, instead of running.
struct ExplainRequest {
  std::string kind;  // transfer, issue, return or balance
  int line = 0;
};

// The window's settings given on the command line, each left as stored when not given.
struct SettingChanges {
  // Indexed as the kinds' options: transfers, issues, returns, balances. 0, 1 or 2.
  std::optional<int> modes[kKindCount];  // by kindIndex
  std::optional<bool> skipServices;
  std::optional<bool> serialNumbers;
  std::optional<bool> lastPrice;
  std::optional<bool> firstSalePrice;

  bool any() const {
    for (const auto& mode : modes)
      if (mode) return true;
    return skipServices || serialNumbers || lastPrice || firstSalePrice;
  }
};

// The options naming each kind's mode, in SettingChanges::modes' order.

struct HostOptions {
  int passes = 0;  // 0: no limit
  bool verbose = false;
  bool help = false;
  std::string database;  // "": the one LastDBIndex chooses
  std::optional<Period> period;
  std::optional<Registration> registration;
  std::optional<std::string> preview;  // --preview FILE: the run's changes, nothing kept
  std::optional<ExplainRequest> explain;
  SettingChanges settings;
  bool showSettings = false;  // print the settings (saving those given) instead of running
};

struct ParsedOptions {
  std::optional<HostOptions> options;
  std::string error;  // why not, when options is empty
};

// today: the day "current-month" and "previous-month" count from.
ParsedOptions parseHostOptions(int argc, const char* const* argv, std::chrono::year_month_day today);

// The local date now.
std::chrono::year_month_day localToday();

// The usage lines, and what --help prints after them.
extern const char kHostSynopsis[];
extern const char kHostHelp[];

}  // namespace talvix::tools
