#include "shell/settings_store.h"

#include "data/date_time.h"
#include "shell/period_days.h"

#include <QCollator>
#include <QLocale>
#include <QString>

#include <algorithm>

namespace talvix::shell {
namespace {

// A value the tool can do without: missing or of another type, it keeps the default.
template <typename Read>
void readOptional(Read read) {
  try {
    read();
  } catch (const RegistryError&) {
  }
}

// A stored day the period pickers cannot hold (period_days.h; also NaN or infinity) is refused like
// a value of another type, so the pickers never hold a period other than the one they show.
DateTime readDate(const RegistryKey& key, const char* name) {
  const DateTime value = key.readDateTime(name);
  const DateTime first = withDay(0.0, firstPeriodDay()), afterLast = withDay(0.0, lastPeriodDay()) + 1.0;
  if (!(value >= first && value < afterLast))
    throw RegistryError(std::string("registry value \"") + name + "\" in HKEY_CURRENT_USER\\" + kSettingsKey +
                        " is not a date between " + firstPeriodDay().toString(u"dd.MM.yyyy").toStdString() + " and " +
                        lastPeriodDay().toString(u"dd.MM.yyyy").toStdString());
  return value;
}

int lastDatabaseIndex(RegistryStore& registry) {
  int index = 0;
  if (auto key = registry.openForRead(kPasswordKey)) readOptional([&] { index = key->readInteger(kLastDbIndex); });
  return index;
}

}  // namespace

std::vector<std::string> sortIgnoringCase(std::vector<std::string> names) {
  QCollator collator(QLocale::system());
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  std::stable_sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
    return collator.compare(QString::fromStdString(a), QString::fromStdString(b)) < 0;
  });
  return names;
}

DatabaseChoice chooseDatabase(RegistryStore& registry) {
  DatabaseChoice choice;
  const int index = lastDatabaseIndex(registry);
  auto key = registry.openForRead(kDatabasesKey);
  if (!key) return choice;
  choice.sortedNames = sortIgnoringCase(key->valueNames());
  if (index >= 0 && index < static_cast<int>(choice.sortedNames.size()))
    choice.name = choice.sortedNames[static_cast<std::size_t>(index)];
  choice.connectionString = key->readString(choice.name);
  return choice;
}

DatabaseChoice chooseDatabase(RegistryStore& registry, const std::string& name) {
  DatabaseChoice choice;
  auto key = registry.openForRead(kDatabasesKey);
  if (!key) return choice;
  choice.sortedNames = sortIgnoringCase(key->valueNames());
  const QString wanted = QString::fromStdString(name);
  for (const std::string& listed : choice.sortedNames) {
    if (QString::fromStdString(listed).compare(wanted, Qt::CaseInsensitive) != 0) continue;
    choice.name = listed;
    choice.connectionString = key->readString(listed);
  }
  return choice;
}

void registerDatabase(RegistryStore& registry, const std::string& name, const std::string& path) {
  // A read first, so an unparseable file is refused with the parser's reason, not a bare "cannot open".
  registry.openForRead(kDatabasesKey);
  const auto databases = registry.openForWrite(kDatabasesKey);
  const auto password = registry.openForWrite(kPasswordKey);
  if (!databases || !password) throw RegistryError("the registry file cannot be written");
  databases->writeString(name, path);
  const DatabaseChoice listed = chooseDatabase(registry, name);
  const auto at = std::find(listed.sortedNames.begin(), listed.sortedNames.end(), listed.name);
  password->writeInteger(kLastDbIndex, static_cast<std::int32_t>(at - listed.sortedNames.begin()));
}

void loadSettings(RegistryStore& registry, RunSettings& settings) {
  auto key = registry.openForRead(kSettingsKey);
  if (!key) return;
  settings.dateFrom = readDate(*key, kDatumsNo);
  settings.dateTo = readDate(*key, kDatumsLidz);
  settings.lastPurchasePrice = key->readInteger(kPedejaCena) != 0;
  for (const DocumentKind kind : kAllKinds) {
    const KindNames& names = kindRow(kind).names;
    const auto read = [&] { settings.mode(kind) = key->readInteger(names.setting); };
    if (names.settingMayBeMissing)
      readOptional(read);
    else
      read();
  }
  readOptional([&] { settings.firstSalePrice = key->readInteger(kParvIzrakst1PardCena) != 0; });
  readOptional([&] { settings.skipServices = key->readInteger(kPakalpojumusNe) != 0; });
  readOptional([&] { settings.serialLookup = key->readInteger(kIMEI) != 0; });
}

void saveSettings(RegistryStore& registry, const RunSettings& settings) {
  auto key = registry.openForWrite(kSettingsKey);
  if (!key) return;
  key->writeDateTime(kDatumsNo, settings.dateFrom);
  key->writeDateTime(kDatumsLidz, settings.dateTo);
  key->writeInteger(kPedejaCena, settings.lastPurchasePrice ? 1 : 0);
  key->writeInteger(kParvIzrakst1PardCena, settings.firstSalePrice ? 1 : 0);
  for (const DocumentKind kind : kAllKinds)
    key->writeInteger(kindRow(kind).names.setting, settings.mode(kind));
  key->writeInteger(kPakalpojumusNe, settings.skipServices ? 1 : 0);
  key->writeInteger(kIMEI, settings.serialLookup ? 1 : 0);
}

}  // namespace talvix::shell
