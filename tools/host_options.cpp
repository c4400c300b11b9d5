#include "tools/host_options.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string_view>

namespace talvix::tools {

const char kHostSynopsis[] =
    "usage: autoiepcensad-run [--passes N] [--database NAME] [--period PERIOD] [--verbose]\n"
    "                         [SETTINGS] [--unpriced FILE | --unpriced-only FILE]\n"
    "       autoiepcensad-run --show-settings [--database NAME] [--period PERIOD] [SETTINGS]\n"
    "       autoiepcensad-run --preview FILE [--database NAME] [--period PERIOD]\n"
    "       autoiepcensad-run --explain KIND:LINE [--database NAME]\n"
    "       autoiepcensad-run --register NAME PATH\n"
    "       autoiepcensad-run --help\n";

const char kHostHelp[] =
    "\n"
    "Runs the cost assignment without a window, as the window's \"Piešķirt\" button does, and\n"
    "prints the progress log on standard output; message boxes go to standard error.\n"
    "\n"
    "Options:\n"
    "  --passes N        end a continuous FIFO run after N passes\n"
    "  --database NAME   open the database listed under NAME in the Bazes key instead of the one\n"
    "                    LastDBIndex chooses\n"
    "  --period PERIOD   current-month, previous-month or YYYY-MM-DD..YYYY-MM-DD: the period for this\n"
    "                    run, saved with the settings as the window saves it\n"
    "  --transfers MODE, --issues MODE, --returns MODE, --balances MODE\n"
    "                    (SETTINGS) the mode of each document kind, the window's three choices\n"
    "                    in order: 0 or skip, 1 or without-cost (only lines without cost), 2 or\n"
    "                    all-anew (all lines anew); saved with the settings as the window saves\n"
    "                    them\n"
    "  --skip-services B, --serial-numbers B, --last-price B, --first-sale-price B\n"
    "                    (SETTINGS, B on or off) the window's options: leave services out, look a\n"
    "                    cost up by its serial number (IMEI, FIFO), use the last purchase price\n"
    "                    that is not 0, price transfers and issues at the first sale price; saved\n"
    "                    likewise\n"
    "  --show-settings   print the settings a run would use, after the options given with it,\n"
    "                    one per line (name, value), the database first (its name in the registry\n"
    "                    file and its path), save those given, and run nothing\n"
    "  --verbose         print every write of the log as a line of its own; by default a counter\n"
    "                    is rewritten in place on a terminal, and into a pipe or file is printed as\n"
    "                    its last value, with at most one progress line every 5 seconds\n"
    "  --unpriced FILE   after the run, write the period's lines still without cost and why, as\n"
    "                    CSV (- for standard output); the last output lines count them by kind,\n"
    "                    in Latvian and then in English (the last)\n"
    "  --unpriced-only FILE\n"
    "                    the same report without a run\n"
    "  --preview FILE    run as the settings would, FIFO as one pass whatever the modes, but keep\n"
    "                    nothing: no cost, reset, operation-log entry, setting or last-run stamp\n"
    "                    stays. Writes the lines whose cost would change as CSV (- for standard\n"
    "                    output), in run order: kind,date,department,goods,name,quantity,line,\n"
    "                    cost_now,cost_after,value_change (quantity x (cost_after - cost_now));\n"
    "                    the output ends with the sums of lines and value change by kind and by\n"
    "                    month in Latvian, then the English line by kind and in total (the last).\n"
    "                    A FILE ending in .xlsx adds a sheet of those sums, the 20 lines that\n"
    "                    move most and a chart of each sum. A FILE (also --unpriced's) is replaced\n"
    "                    whole; a symbolic link keeps pointing where it did (its target is\n"
    "                    replaced); a character device or a FIFO with a reader is written into as\n"
    "                    it is; a socket, a block device, a FIFO nobody reads and a folder are\n"
    "                    refused (exit 3) with the reason in Latvian\n"
    "  --explain KIND:LINE\n"
    "                    print, reading only, why the line LINE (its key) of KIND (transfer, issue,\n"
    "                    return or balance) has its cost: the line, the rule that prices it under\n"
    "                    the database's method and the settings (mode 0 taken as 1), the trail\n"
    "                    behind the price (FIFO layers taken, the moving average's movements, or\n"
    "                    what a look-up found) and what a run would write against what it holds\n"
    "  --register NAME PATH\n"
    "                    list the database PATH (a file, or host/port:path on a server) as NAME in\n"
    "                    the registry file, replacing an entry of that name, and make it the one\n"
    "                    the tool opens; every other value stays, a missing file is made (mode\n"
    "                    0600); nothing runs\n"
    "  --help            print this text\n"
    "\n"
    "Environment:\n"
    "  TALVIX_REGISTRY   the registry file (default ~/.config/talvix/registry.reg)\n"
    "  ISC_USER          Firebird user (default SYSDBA)\n"
    "  ISC_PASSWORD      Firebird password\n"
    "  TALVIX_WHOLE_LOOK_SECONDS\n"
    "                    a continuous run reads every document table whole at least this often\n"
    "                    where the monitoring tables cannot prove it unchanged, and sees an edit\n"
    "                    under a table's newest keys within it (default 120; 0: at every pass)\n"
    "  TALVIX_WATCH_WINDOW_KEYS\n"
    "                    how many of each table's newest keys a pass reads otherwise (2000)\n"
    "  NOTIFY_SOCKET, WATCHDOG_USEC\n"
    "                    set by systemd for a service of Type=notify: the run reports READY once\n"
    "                    the database is open, a STATUS line saying what it does, and pings the\n"
    "                    watchdog while it makes progress\n"
    "  JOURNAL_STREAM    set by systemd: on the journal, lines carry their priority (errors,\n"
    "                    refusals and reconnects err or warning, the progress log info)\n"
    "\n"
    "Exit status:\n"
    "  0  the run ended, made its N passes, or a continuous run was stopped by SIGTERM/SIGINT\n"
    "  1  the database did not open\n"
    "  2  bad command line, the library cannot be loaded, --explain names no line, or a\n"
    "     continuous run would price nothing (every kind on mode 0)\n"
    "  3  the run ended in an error (its text is on standard error), or the report, the preview or\n"
    "     the registry file could not be written or its place refused it (the file is then left\n"
    "     as it was)\n"
    "  4  the run was refused: blocked days in the period, or a weighted-average period over 100 days\n"
    "  5  a run that ends by itself (a kind on mode 2, --passes N, the weighted average) was stopped\n"
    "     by SIGTERM/SIGINT before its end; with a kind on mode 2 every line keeps its previous cost\n";

namespace {

using namespace std::chrono;

constexpr std::string_view kCurrentMonth = "current-month";
constexpr std::string_view kPreviousMonth = "previous-month";
constexpr std::string_view kRangeSeparator = "..";
constexpr std::string_view kRegister = "--register";
constexpr std::string_view kPreview = "--preview";
constexpr std::string_view kExplain = "--explain";
constexpr std::string_view kShowSettings = "--show-settings";
// Each mode's word, by its number.
constexpr std::string_view kModeWords[] = {"skip", "without-cost", "all-anew"};
constexpr year_month_day calendarDay(CalendarDay d) {
  return {year{d.year}, month{static_cast<unsigned>(d.month)}, day{static_cast<unsigned>(d.day)}};
}
// The days the window's date pickers hold.
constexpr year_month_day kFirstPickerDay = calendarDay(kFirstPeriodDay);
constexpr year_month_day kLastPickerDay = calendarDay(kLastPeriodDay);

std::string isoDay(CalendarDay d) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
  return text;
}

Period wholeMonth(year_month month) {
  return {year_month_day(month / day{1}), year_month_day(month / last)};
}

// YYYY-MM-DD, a day of the calendar.
std::optional<year_month_day> parseDay(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  for (std::size_t at : {0, 1, 2, 3, 5, 6, 8, 9})
    if (text[at] < '0' || text[at] > '9') return std::nullopt;
  auto number = [&](std::size_t at, std::size_t length) {
    int value = 0;
    for (std::size_t i = at; i < at + length; ++i) value = value * 10 + (text[i] - '0');
    return value;
  };
  const year_month_day result{year{number(0, 4)}, month{static_cast<unsigned>(number(5, 2))},
                              day{static_cast<unsigned>(number(8, 2))}};
  if (!result.ok()) return std::nullopt;
  return result;
}

std::optional<Period> parsePeriod(std::string_view text, year_month_day today) {
  const year_month thisMonth = today.year() / today.month();
  if (text == kCurrentMonth) return wholeMonth(thisMonth);
  if (text == kPreviousMonth) return wholeMonth(thisMonth - months{1});
  const std::size_t at = text.find(kRangeSeparator);
  if (at == std::string_view::npos) return std::nullopt;
  const auto from = parseDay(text.substr(0, at));
  const auto to = parseDay(text.substr(at + kRangeSeparator.size()));
  if (!from || !to || sys_days(*from) < sys_days(kFirstPickerDay) || sys_days(*from) > sys_days(*to) ||
      sys_days(*to) > sys_days(kLastPickerDay))
    return std::nullopt;
  return Period{*from, *to};
}

std::optional<int> parsePasses(const char* text) {
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < 1 || value > INT_MAX) return std::nullopt;
  return static_cast<int>(value);
}

std::optional<ExplainRequest> parseExplain(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::string_view kind = text.substr(0, colon);
  if (std::none_of(std::begin(kDocumentKinds), std::end(kDocumentKinds),
                   [&](const DocumentKindRow& row) { return kind == row.names.word; }))
    return std::nullopt;
  const std::string line(text.substr(colon + 1));
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(line.c_str(), &end, 10);
  if (line.empty() || errno != 0 || *end != '\0' || value < INT_MIN || value > INT_MAX) return std::nullopt;
  return ExplainRequest{std::string(kind), static_cast<int>(value)};
}

ParsedOptions refuse(const std::string& error) { return {std::nullopt, error}; }

std::optional<int> parseMode(std::string_view text) {
  for (int mode = 0; mode < static_cast<int>(std::size(kModeWords)); ++mode)
    if (text == kModeWords[mode] || (text.size() == 1 && text[0] == '0' + mode)) return mode;
  return std::nullopt;
}

std::optional<bool> parseSwitch(std::string_view text) {
  if (text == "on") return true;
  if (text == "off") return false;
  return std::nullopt;
}

// The option's place to store its value, when it is one of the settings.
std::optional<bool>* switchOf(std::string_view name, SettingChanges& settings) {
  if (name == "--skip-services") return &settings.skipServices;
  if (name == "--serial-numbers") return &settings.serialNumbers;
  if (name == "--last-price") return &settings.lastPrice;
  if (name == "--first-sale-price") return &settings.firstSalePrice;
  return nullptr;
}

std::optional<int>* modeOf(std::string_view name, SettingChanges& settings) {
  for (const DocumentKindRow& row : kDocumentKinds)
    if (name.substr(0, 2) == "--" && name.substr(2) == row.names.option) return &settings.modes[kindIndex(row.kind)];
  return nullptr;
}

// The embedded engine opens a path from the process's folder; the registry is read from anywhere.
std::string registrationPath(const std::string& path) {
  if (path.find(':') != std::string::npos) return path;
  return std::filesystem::absolute(path).lexically_normal().string();
}

std::optional<Registration> parseRegistration(int argc, const char* const* argv) {
  if (argc != 4 || std::string_view(argv[1]) != kRegister || !*argv[2] || !*argv[3]) return std::nullopt;
  return Registration{argv[2], registrationPath(argv[3])};
}

}  // namespace

ParsedOptions parseHostOptions(int argc, const char* const* argv, year_month_day today) {
  HostOptions options;
  for (int index = 1; index < argc; ++index) {
    if (std::string_view(argv[index]) == kRegister) {
      options.registration = parseRegistration(argc, argv);
      if (!options.registration) return refuse("--register takes a name and a path, and no other option");
      return {options, {}};
    }
    const std::string_view name = argv[index];
    if (name == "--help") {
      options.help = true;
      continue;
    }
    if (name == "--verbose") {
      options.verbose = true;
      continue;
    }
    if (name == kShowSettings) {
      options.showSettings = true;
      continue;
    }
    std::optional<int>* mode = modeOf(name, options.settings);
    std::optional<bool>* setting = switchOf(name, options.settings);
    if (mode || setting) {
      if (index + 1 >= argc) return refuse(std::string(name) + " needs a value");
      const std::string_view value = argv[++index];
      if (mode && !(*mode = parseMode(value)))
        return refuse(std::string(name) + " takes 0 or skip, 1 or without-cost, 2 or all-anew, not '" +
                      std::string(value) + "'");
      if (setting && !(*setting = parseSwitch(value)))
        return refuse(std::string(name) + " takes on or off, not '" + std::string(value) + "'");
      continue;
    }
    if (name != "--passes" && name != "--database" && name != "--period" && name != kPreview && name != kExplain)
      return refuse("unknown option '" + std::string(name) + "'");
    if (index + 1 >= argc) return refuse(std::string(name) + " needs a value");
    const char* value = argv[++index];
    if (name == "--passes") {
      const auto passes = parsePasses(value);
      if (!passes) return refuse("--passes takes a whole number from 1, not '" + std::string(value) + "'");
      options.passes = *passes;
    } else if (name == kExplain) {
      options.explain = parseExplain(value);
      if (!options.explain)
        return refuse("--explain takes KIND:LINE, KIND transfer, issue, return or balance and LINE a line key, not '" +
                      std::string(value) + "'");
    } else if (name == kPreview) {
      if (*value == '\0') return refuse("--preview needs a FILE (- for standard output)");
      options.preview = value;
    } else if (name == "--database") {
      if (*value == '\0') return refuse("--database needs a name");
      options.database = value;
    } else {
      options.period = parsePeriod(value, today);
      if (!options.period)
        return refuse(
            "--period takes current-month, previous-month or YYYY-MM-DD..YYYY-MM-DD (first day not "
            "after the last, both from " +
            isoDay(kFirstPeriodDay) + " to " + isoDay(kLastPeriodDay) + "), not '" + std::string(value) + "'");
    }
  }
  if (options.preview && options.passes != 0) return refuse("--preview makes one pass; --passes does not go with it");
  if (options.showSettings && (options.preview || options.explain || options.passes != 0))
    return refuse("--show-settings runs nothing; --preview, --explain and --passes do not go with it");
  if (options.explain && (options.preview || options.passes != 0 || options.period))
    return refuse(
        "--explain reads one line as the settings price it; --preview, --passes and --period do not go with it");
  return {options, {}};
}

year_month_day localToday() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return year{local.tm_year + 1900} / month{static_cast<unsigned>(local.tm_mon + 1)} /
         day{static_cast<unsigned>(local.tm_mday)};
}

}  // namespace talvix::tools
