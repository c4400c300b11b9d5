#include "tools/host_settings.h"

#include <cstdio>
#include <iterator>

namespace talvix::tools {
namespace {

constexpr int kAllAnewMode = 2;  // "Piešķirt visiem no jauna"
// The window's mode items, by their index.
constexpr const char* kModeItems[] = {"Nepiešķirt", "Piešķirt tikai ar 0 pašizmaksu", "Piešķirt visiem no jauna"};

constexpr auto& kModeFields = kAutoIepCenSadModeFields;
static_assert(std::size(kModeFields) == kKindCount, "a field for every kind, in the rows' order");

struct Switch {
  const char* name;
  int AutoIepCenSadSettings::*field;
  std::optional<bool> SettingChanges::*change;
};
constexpr Switch kSwitches[] = {
    {"skip-services", &AutoIepCenSadSettings::skipServices, &SettingChanges::skipServices},
    {"serial-numbers", &AutoIepCenSadSettings::serialLookup, &SettingChanges::serialNumbers},
    {"last-price", &AutoIepCenSadSettings::lastPurchasePrice, &SettingChanges::lastPrice},
    {"first-sale-price", &AutoIepCenSadSettings::firstSalePrice, &SettingChanges::firstSalePrice},
};

std::string row(const std::string& name, const std::string& value) {
  char text[512];
  std::snprintf(text, sizeof text, "%-17s %s\n", name.c_str(), value.c_str());
  return text;
}

std::string day(int year, int month, int dayOfMonth) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, dayOfMonth);
  return text;
}

std::string modeText(int mode) {
  if (mode >= 0 && mode < static_cast<int>(std::size(kModeItems))) return std::to_string(mode) + " " + kModeItems[mode];
  // A stored value the window never writes: a run processes the kind, not anew.
  return std::to_string(mode) + " (taken as 1 " + kModeItems[1] + ")";
}

}  // namespace

AutoIepCenSadSettings withChanges(AutoIepCenSadSettings settings, const std::optional<Period>& period,
                                  const SettingChanges& changes) {
  if (period) {
    settings.fromYear = static_cast<int>(period->from.year());
    settings.fromMonth = static_cast<int>(static_cast<unsigned>(period->from.month()));
    settings.fromDay = static_cast<int>(static_cast<unsigned>(period->from.day()));
    settings.toYear = static_cast<int>(period->to.year());
    settings.toMonth = static_cast<int>(static_cast<unsigned>(period->to.month()));
    settings.toDay = static_cast<int>(static_cast<unsigned>(period->to.day()));
  }
  for (std::size_t kind = 0; kind < std::size(kModeFields); ++kind)
    if (changes.modes[kind]) settings.*kModeFields[kind] = *changes.modes[kind];
  for (const Switch& each : kSwitches)
    if (const auto& change = changes.*each.change) settings.*each.field = *change ? 1 : 0;
  return settings;
}

std::string databaseRows(const std::string& name, const std::string& connection) {
  return row("database", name) + row("database-path", connection);
}

bool assignsAnyAnew(const AutoIepCenSadSettings& settings) {
  for (const auto field : kModeFields)
    if (settings.*field == kAllAnewMode) return true;
  return false;
}

std::string settingsRows(const AutoIepCenSadSettings& settings, int fifo) {
  std::string rows = row("method", fifo == 1 ? "FIFO" : fifo == 0 ? "weighted average" : "unknown");
  rows += row("period", day(settings.fromYear, settings.fromMonth, settings.fromDay) + ".." +
                            day(settings.toYear, settings.toMonth, settings.toDay));
  for (std::size_t kind = 0; kind < std::size(kModeFields); ++kind)
    rows += row(kDocumentKinds[kind].names.option, modeText(settings.*kModeFields[kind]));
  for (const Switch& each : kSwitches) rows += row(each.name, settings.*each.field ? "on" : "off");
  return rows;
}

}  // namespace talvix::tools
