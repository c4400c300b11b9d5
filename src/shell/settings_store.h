#pragma once
// What the tool keeps in the registry of the current user: which database to open (read only) and
// the window's settings (period, modes, options), loaded once at creation and saved before each run
// and on closing. Every key and value name the window uses stands here.
#include "registry/registry_store.h"
#include "step/run_settings.h"
#include "step/run_stamp.h"

#include <string>
#include <vector>

namespace talvix::shell {

inline constexpr char kDatabasesKey[] = "Software\\ORMANTA\\Talvix\\Bazes";
inline constexpr char kPasswordKey[] = "Software\\ORMANTA\\Talvix\\Password";
inline constexpr char kLastDbIndex[] = "LastDBIndex";

using talvix::kSettingsKey;  // the FIFO run stamps its end under the same key
inline constexpr char kDatumsNo[] = "DatumsNo";
inline constexpr char kDatumsLidz[] = "DatumsLidz";
inline constexpr char kPedejaCena[] = "PedejaCena";
// Each kind's mode value is named in its row; these are the four the key has always held.
inline constexpr const char* kParvietosanaChk = kindRow(DocumentKind::Transfer).names.setting;
inline constexpr const char* kIzrakstisanaChk = kindRow(DocumentKind::Issue).names.setting;
inline constexpr const char* kAtgriesanaChk = kindRow(DocumentKind::Return).names.setting;
inline constexpr const char* kAtlikumiChk = kindRow(DocumentKind::Balance).names.setting;
inline constexpr char kParvIzrakst1PardCena[] = "ParvIzrakst1PardCena";
inline constexpr char kPakalpojumusNe[] = "PakalpojumusNe";
inline constexpr char kIMEI[] = "IMEI";

// The database named by LastDBIndex, counted in the names of the Bazes key sorted without regard to
// case (the first when the index cannot be read). An index that names no entry gives an empty name,
// whose connection string is the key's default value.
struct DatabaseChoice {
  std::vector<std::string> sortedNames;
  std::string name;
  std::string connectionString;  // "" when the value or the key is missing
};
DatabaseChoice chooseDatabase(RegistryStore& registry);
// The database listed under `name` (matched without regard to case); an unknown name gives an empty
// name and connection string, with the listed names to tell the user.
DatabaseChoice chooseDatabase(RegistryStore& registry, const std::string& name);

// Lists path under `name` in the Bazes key (replacing an entry of that name, matched without regard to
// case) and makes it the one LastDBIndex chooses; every other value stays. Throws RegistryError with
// the reason when the file cannot be read, parsed or written (it is then left as it was).
void registerDatabase(RegistryStore& registry, const std::string& name, const std::string& path);

// Sorted as the desktop's collation orders them, ignoring case.
std::vector<std::string> sortIgnoringCase(std::vector<std::string> names);

// Loads the stored settings over `settings`, which holds the defaults. A missing key leaves them.
// The first six values must be there: a missing or mistyped one throws RegistryError, the values
// read before it being already in `settings`; a date outside the pickers' days counts as mistyped.
// The last four are each skipped when unreadable.
void loadSettings(RegistryStore& registry, RunSettings& settings);
// Writes all ten values; nothing when the key cannot be opened. A failed write throws.
void saveSettings(RegistryStore& registry, const RunSettings& settings);

}  // namespace talvix::shell
