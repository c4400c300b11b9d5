// Creation and closing of the window over a real database and a real registry file: which database
// opens, what a failed open shows, how stored settings reach the controls, and closing saves them.
#include "data/main_form_dati.h"
#include "data/pricing_library.h"
#include "shell/date_picker.h"
#include "shell/radio_group.h"
#include "shell_fixture.h"
#include "support/test_database.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include <limits>

namespace talvix::test {
namespace {

constexpr char kCannotOpen[] = "Nevaru atvērt datu bāzi !!!";

class StartUpTest : public ShellTest {
 protected:
  std::string openedDatabase(const TAutoIepCenSad& window) {
    return window.pricing() ? window.pricing()->mainFormDati().PRECES_DB.databaseName() : "(none)";
  }
  std::string missing() const { return dir.file("missing.fdb"); }

  TestDatabase db;
};

struct ChoiceRow {
  const char* scenario;
  std::string index;  // the LastDBIndex line, "" for none
  bool defaultValue;  // whether the Bazes key has an unnamed default naming the database
  bool opens;
};

TEST_F(StartUpTest, LastDbIndexCountsInTheListSortedWithoutRegardToCase) {
  // Registry order Beta, alfa; sorted: alfa (the database), Beta.
  listDatabases({{"Beta", missing()}, {"alfa", db.path()}},
                "[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\Password]\n\"LastDBIndex\"=dword:00000000\n");
  TAutoIepCenSad window;
  window.FormCreate();
  EXPECT_TRUE(window.databaseOpen());
  EXPECT_EQ(openedDatabase(window), db.path());
  ASSERT_EQ(window.cmbDatuBaze->count(), 2);
  EXPECT_EQ(window.cmbDatuBaze->itemText(0), QStringLiteral("alfa"));
  EXPECT_EQ(window.cmbDatuBaze->itemText(1), QStringLiteral("Beta"));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(StartUpTest, TheIndexPicksTheDatabaseOrTheKeysDefaultValue) {
  const ChoiceRow rows[] = {
      {"index 1 names the second sorted entry", "dword:00000001", false, true},
      {"no index: the first sorted entry", "", false, false},
      {"an index that is not a number is ignored", "\"1\"", false, false},
      {"index past the list reads the default value", "dword:00000005", true, true},
      {"index past the list without a default value", "dword:00000005", false, false},
      {"a negative index reads the default value", "dword:ffffffff", true, true},
  };
  for (const ChoiceRow& row : rows) {
    SCOPED_TRACE(row.scenario);
    boxes.clear();
    std::string bazes = "[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\Bazes]\n";
    if (row.defaultValue) bazes += "@=\"" + db.path() + "\"\n";
    bazes += "\"a\"=\"" + missing() + "\"\n\"B\"=\"" + db.path() + "\"\n\n";
    const std::string password = row.index.empty() ? std::string()
                                                   : "[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\Password]\n"
                                                     "\"LastDBIndex\"=" + row.index + "\n";
    writeRegistry(bazes + password);
    TAutoIepCenSad window;
    window.FormCreate();
    EXPECT_EQ(window.databaseOpen(), row.opens);
    EXPECT_EQ(window.terminateRequested(), !row.opens);
    if (row.opens) {
      EXPECT_EQ(openedDatabase(window), db.path());
      EXPECT_TRUE(boxes.empty());
    } else {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].kind, shell::BoxKind::Message);
      EXPECT_EQ(boxes[0].text.rfind(kCannotOpen, 0), 0u) << boxes[0].text;
      EXPECT_GT(boxes[0].text.size(), std::string(kCannotOpen).size()) << "the error's own text follows";
    }
  }
}

TEST_F(StartUpTest, AFailedStartShowsTheErrorTextAndWritesNothing) {
  listDatabases({{"Demo", missing()}});
  {
    TAutoIepCenSad window;
    window.FormCreate();
    window.close();
  }
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].text.find(missing()), std::string::npos) << boxes[0].text;
  EXPECT_EQ(settingsKey(), nullptr);
}

TEST_F(StartUpTest, WithoutStoredSettingsThePeriodIsTheLibrarysDefault) {
  listDatabases({{"Demo", db.path()}});
  TAutoIepCenSad window;
  window.FormCreate();
  ASSERT_TRUE(window.databaseOpen());
  const DateTime today = todayLocal();
  EXPECT_DOUBLE_EQ(window.DatumsNo->value(), window.pricing()->DatNo(today));
  EXPECT_DOUBLE_EQ(window.DatumsLidz->value(), window.pricing()->DatLidz(today));
  EXPECT_EQ(window.shAtlikumi->itemIndex(), 0);
  EXPECT_TRUE(window.state().ServicesFilter.empty());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(StartUpTest, StoredSettingsReachTheControls) {
  listDatabases({{"Demo", db.path()}});
  RunSettings stored;
  stored.dateFrom = makeDateTime(2025, 1, 2, 8, 0, 0);
  stored.dateTo = makeDateTime(2025, 2, 3, 20, 0, 0);
  stored.transfers = 1;
  stored.issues = 2;
  stored.returns = 1;
  stored.balances = 2;
  stored.lastPurchasePrice = stored.firstSalePrice = stored.skipServices = stored.serialLookup = true;
  shell::saveSettings(registry, stored);

  TAutoIepCenSad window;
  window.FormCreate();
  EXPECT_TRUE(boxes.empty());
  EXPECT_DOUBLE_EQ(window.DatumsNo->value(), stored.dateFrom);
  EXPECT_EQ(window.DatumsNo->date(), QDate(2025, 1, 2));
  EXPECT_DOUBLE_EQ(window.DatumsLidz->value(), stored.dateTo);
  EXPECT_EQ(window.shParveitosana->itemIndex(), 1);
  EXPECT_EQ(window.shIzrakstisana->itemIndex(), 2);
  EXPECT_EQ(window.shAtgriezsana->itemIndex(), 1);
  EXPECT_EQ(window.shAtlikumi->itemIndex(), 2);
  for (QCheckBox* option : {window.chkPedejaCena, window.chk1PardCena, window.chkPakalpojumusNe, window.chkIMEI})
    EXPECT_TRUE(option->isChecked()) << option->objectName().toStdString();
}

TEST_F(StartUpTest, AKeyWithOnlyTheFirstSixValuesLoadsThemSilently) {
  listDatabases({{"Demo", db.path()}});
  {
    auto key = registry.openForWrite(shell::kSettingsKey);
    key->writeDateTime(shell::kDatumsNo, makeDate(2025, 1, 1));
    key->writeDateTime(shell::kDatumsLidz, makeDate(2025, 1, 31));
    key->writeInteger(shell::kPedejaCena, 1);
    key->writeInteger(shell::kParvietosanaChk, 2);
    key->writeInteger(shell::kIzrakstisanaChk, 1);
    key->writeInteger(shell::kAtgriesanaChk, 2);
  }
  TAutoIepCenSad window;
  window.FormCreate();
  EXPECT_TRUE(boxes.empty());
  EXPECT_DOUBLE_EQ(window.DatumsLidz->value(), makeDate(2025, 1, 31));
  EXPECT_TRUE(window.chkPedejaCena->isChecked());
  EXPECT_EQ(window.shAtgriezsana->itemIndex(), 2);
  EXPECT_EQ(window.shAtlikumi->itemIndex(), 0);
  EXPECT_FALSE(window.chk1PardCena->isChecked());
  EXPECT_FALSE(window.chkPakalpojumusNe->isChecked());
  EXPECT_FALSE(window.chkIMEI->isChecked());
}

TEST_F(StartUpTest, AKeyWithoutDatumsLidzShowsTheErrorAndKeepsTheRestAtDefaults) {
  listDatabases({{"Demo", db.path()}});
  {
    auto key = registry.openForWrite(shell::kSettingsKey);
    key->writeDateTime(shell::kDatumsNo, makeDate(2025, 1, 1));
    key->writeInteger(shell::kPedejaCena, 1);
    key->writeInteger(shell::kParvietosanaChk, 2);
    key->writeInteger(shell::kIzrakstisanaChk, 1);
    key->writeInteger(shell::kAtgriesanaChk, 2);
    key->writeInteger(shell::kAtlikumiChk, 2);
    key->writeInteger(shell::kIMEI, 1);
  }
  TAutoIepCenSad window;
  window.FormCreate();
  EXPECT_TRUE(window.databaseOpen());
  EXPECT_FALSE(window.terminateRequested());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, shell::BoxKind::Error);
  EXPECT_NE(boxes[0].text.find("DatumsLidz"), std::string::npos) << boxes[0].text;
  EXPECT_DOUBLE_EQ(window.DatumsNo->value(), makeDate(2025, 1, 1));
  EXPECT_DOUBLE_EQ(window.DatumsLidz->value(), window.pricing()->DatLidz(todayLocal()));
  EXPECT_FALSE(window.chkPedejaCena->isChecked());
  EXPECT_EQ(window.shParveitosana->itemIndex(), 0);
  EXPECT_EQ(window.shAtlikumi->itemIndex(), 0);
  EXPECT_FALSE(window.chkIMEI->isChecked());
}

TEST_F(StartUpTest, ClosingByTheTitleBarOrTheCloseButtonSavesTheControls) {
  const struct {
    const char* closer;
    void (*close)(TAutoIepCenSad&);
  } rows[] = {
      {"title bar", [](TAutoIepCenSad& window) { window.windowHandle()->close(); }},
      {"BtClose", [](TAutoIepCenSad& window) { QTest::mouseClick(window.BtClose, Qt::LeftButton); }},
  };
  listDatabases({{"Demo", db.path()}});
  for (const auto& row : rows) {
    SCOPED_TRACE(row.closer);
    writeRegistry("[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\Bazes]\n\"Demo\"=\"" + db.path() + "\"\n");
    TAutoIepCenSad window;
    window.FormCreate();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.shAtgriezsana->setItemIndex(2);
    window.chkIMEI->setChecked(true);
    window.DatumsNo->setValue(makeDateTime(2024, 5, 6, 7, 8, 9));
    ASSERT_EQ(settingsKey(), nullptr) << "nothing is written before closing";

    row.close(window);
    EXPECT_FALSE(window.isVisible());
    auto key = settingsKey();
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->readInteger(shell::kAtgriesanaChk), 2);
    EXPECT_EQ(key->readInteger(shell::kIMEI), 1);
    EXPECT_EQ(key->readInteger(shell::kAtlikumiChk), 0);
    EXPECT_DOUBLE_EQ(key->readDateTime(shell::kDatumsNo), makeDateTime(2024, 5, 6, 7, 8, 9));
  }
}

TEST_F(StartUpTest, AFailingSaveKeepsTheWindowOpenAndShowsTheError) {
  listDatabases({{"Demo", db.path()}});
  TAutoIepCenSad window;
  window.FormCreate();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.DatumsNo->setValue(std::numeric_limits<double>::quiet_NaN());  // the registry refuses it
  window.close();
  EXPECT_TRUE(window.isVisible());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, shell::BoxKind::Error);
}

}  // namespace
}  // namespace talvix::test
