// The settings in a real registry file: what is loaded, what is kept at its default, and what is
// written back.
#include "shell/date_picker.h"
#include "shell/radio_group.h"
#include "shell/settings_store.h"
#include "shell_fixture.h"

#include <QCheckBox>

#include <fstream>
#include <sstream>

namespace talvix::test {
namespace {

using namespace talvix::shell;

const DateTime kFrom = makeDateTime(2026, 3, 1, 9, 30, 0);
const DateTime kTo = makeDateTime(2026, 3, 31, 17, 45, 15);

// Defaults as the window holds them before loading.
RunSettings defaults() {
  RunSettings settings;
  settings.dateFrom = makeDate(2026, 6, 1);
  settings.dateTo = makeDate(2026, 6, 30);
  return settings;
}

// Every value of the key, as a previous save would leave them, with the given ones left out.
void storeAll(RegistryStore& registry, const std::vector<std::string>& leftOut = {}) {
  auto key = registry.openForWrite(kSettingsKey);
  auto put = [&](const char* name, auto write) {
    if (std::find(leftOut.begin(), leftOut.end(), name) == leftOut.end()) write(name);
  };
  put(kDatumsNo, [&](const char* n) { key->writeDateTime(n, kFrom); });
  put(kDatumsLidz, [&](const char* n) { key->writeDateTime(n, kTo); });
  put(kPedejaCena, [&](const char* n) { key->writeInteger(n, 1); });
  put(kParvIzrakst1PardCena, [&](const char* n) { key->writeInteger(n, 1); });
  put(kParvietosanaChk, [&](const char* n) { key->writeInteger(n, 1); });
  put(kIzrakstisanaChk, [&](const char* n) { key->writeInteger(n, 2); });
  put(kAtgriesanaChk, [&](const char* n) { key->writeInteger(n, 1); });
  put(kAtlikumiChk, [&](const char* n) { key->writeInteger(n, 2); });
  put(kPakalpojumusNe, [&](const char* n) { key->writeInteger(n, 1); });
  put(kIMEI, [&](const char* n) { key->writeInteger(n, 1); });
}

// What storeAll stores, field by field, as "name=value" for readable failures.
std::string describe(const RunSettings& s) {
  std::ostringstream out;
  out << "from=" << formatIsoDate(s.dateFrom) << " to=" << formatIsoDate(s.dateTo) << " pedeja=" << s.lastPurchasePrice
      << " parv=" << s.transfers << " izr=" << s.issues << " atgr=" << s.returns << " atlik=" << s.balances
      << " pard=" << s.firstSalePrice << " pakalp=" << s.skipServices << " imei=" << s.serialLookup;
  return out.str();
}

class SettingsStoreTest : public ShellTest {};

TEST_F(SettingsStoreTest, SavedSettingsLoadBackWithTheTimeOfDay) {
  RunSettings saved;
  saved.dateFrom = kFrom;
  saved.dateTo = kTo;
  saved.transfers = 2;
  saved.issues = 1;
  saved.returns = 0;
  saved.balances = 2;
  saved.lastPurchasePrice = true;
  saved.firstSalePrice = false;
  saved.skipServices = true;
  saved.serialLookup = true;
  saveSettings(registry, saved);

  RunSettings loaded = defaults();
  loadSettings(registry, loaded);
  EXPECT_EQ(describe(loaded), describe(saved));
  EXPECT_DOUBLE_EQ(loaded.dateFrom, kFrom);
  EXPECT_DOUBLE_EQ(loaded.dateTo, kTo);
}

TEST_F(SettingsStoreTest, SaveWritesTheTenValuesInOrderWithBooleansAsOneOrZero) {
  RunSettings settings = defaults();
  settings.lastPurchasePrice = true;
  saveSettings(registry, settings);
  auto key = settingsKey();
  ASSERT_NE(key, nullptr);
  const std::vector<std::string> order{"DatumsNo",        "DatumsLidz",    "PedejaCena",  "ParvIzrakst1PardCena",
                                       "ParvietosanaChk", "IzrakstisanaChk", "AtgriesanaChk", "AtlikumiChk",
                                       "PakalpojumusNe",  "IMEI"};
  EXPECT_EQ(key->valueNames(), order);
  EXPECT_EQ(key->readInteger(kPedejaCena), 1);
  EXPECT_EQ(key->readInteger(kIMEI), 0);
}

TEST_F(SettingsStoreTest, ABooleanStoredAsFiveLoadsTickedAndIsSavedAsOne) {
  const struct {
    const char* value;
    bool RunSettings::*field;
  } rows[] = {{kPedejaCena, &RunSettings::lastPurchasePrice},
              {kParvIzrakst1PardCena, &RunSettings::firstSalePrice},
              {kPakalpojumusNe, &RunSettings::skipServices},
              {kIMEI, &RunSettings::serialLookup}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.value);
    storeAll(registry);
    registry.openForWrite(kSettingsKey)->writeInteger(row.value, 5);
    RunSettings loaded = defaults();
    loadSettings(registry, loaded);
    EXPECT_TRUE(loaded.*row.field);
    saveSettings(registry, loaded);
    EXPECT_EQ(settingsKey()->readInteger(row.value), 1);
  }
}

TEST_F(SettingsStoreTest, WithoutTheKeyEverythingKeepsItsDefault) {
  RunSettings loaded = defaults();
  loadSettings(registry, loaded);
  EXPECT_EQ(describe(loaded), describe(defaults()));
}

// One row per value the key lacks: what loading does and what it leaves.
struct MissingRow {
  const char* missing;
  bool throws;
  std::string expected;
};

TEST_F(SettingsStoreTest, AMissingValueStopsLoadingOnlyAmongTheFirstSix) {
  const std::string from = "from=2026-03-01 09:30:00", to = " to=2026-03-31 17:45:15";
  const MissingRow rows[] = {
      {kDatumsNo, true,
       "from=2026-06-01 to=2026-06-30 pedeja=0 parv=0 izr=0 atgr=0 atlik=0 pard=0 pakalp=0 imei=0"},
      {kDatumsLidz, true, from + " to=2026-06-30 pedeja=0 parv=0 izr=0 atgr=0 atlik=0 pard=0 pakalp=0 imei=0"},
      {kPedejaCena, true, from + to + " pedeja=0 parv=0 izr=0 atgr=0 atlik=0 pard=0 pakalp=0 imei=0"},
      {kParvietosanaChk, true, from + to + " pedeja=1 parv=0 izr=0 atgr=0 atlik=0 pard=0 pakalp=0 imei=0"},
      {kIzrakstisanaChk, true, from + to + " pedeja=1 parv=1 izr=0 atgr=0 atlik=0 pard=0 pakalp=0 imei=0"},
      {kAtgriesanaChk, true, from + to + " pedeja=1 parv=1 izr=2 atgr=0 atlik=0 pard=0 pakalp=0 imei=0"},
      {kAtlikumiChk, false, from + to + " pedeja=1 parv=1 izr=2 atgr=1 atlik=0 pard=1 pakalp=1 imei=1"},
      {kParvIzrakst1PardCena, false, from + to + " pedeja=1 parv=1 izr=2 atgr=1 atlik=2 pard=0 pakalp=1 imei=1"},
      {kPakalpojumusNe, false, from + to + " pedeja=1 parv=1 izr=2 atgr=1 atlik=2 pard=1 pakalp=0 imei=1"},
      {kIMEI, false, from + to + " pedeja=1 parv=1 izr=2 atgr=1 atlik=2 pard=1 pakalp=1 imei=0"},
  };
  for (const MissingRow& row : rows) {
    SCOPED_TRACE(row.missing);
    writeRegistry("");
    storeAll(registry, {row.missing});
    RunSettings loaded = defaults();
    if (row.throws)
      EXPECT_THROW(loadSettings(registry, loaded), RegistryError);
    else
      EXPECT_NO_THROW(loadSettings(registry, loaded));
    EXPECT_EQ(describe(loaded), row.expected);
  }
}

TEST_F(SettingsStoreTest, AGuardedValueOfAnotherTypeKeepsItsDefaultAndLoadingGoesOn) {
  storeAll(registry, {kAtlikumiChk, kIMEI});
  std::ofstream(registryPath, std::ios::app) << "\"AtlikumiChk\"=\"2\"\n\"IMEI\"=hex:01,00,00,00\n";
  RunSettings loaded = defaults();
  loadSettings(registry, loaded);
  EXPECT_EQ(loaded.balances, 0);
  EXPECT_TRUE(loaded.firstSalePrice);
  EXPECT_TRUE(loaded.skipServices);
  EXPECT_FALSE(loaded.serialLookup);
}

TEST_F(SettingsStoreTest, ARegistryFileThatCannotBeReadIsLeftAloneOnSave) {
  const std::string garbage = "this is not a registry file\n";
  std::ofstream(registryPath, std::ios::binary) << garbage;
  EXPECT_NO_THROW(saveSettings(registry, defaults()));
  std::ifstream in(registryPath, std::ios::binary);
  std::stringstream kept;
  kept << in.rdbuf();
  EXPECT_EQ(kept.str(), garbage);
}

}  // namespace
}  // namespace talvix::test
