// The window on input it cannot use: a database without the stock tables leaves it open and usable
// with Firebird's error in the standard error box; a registry file it cannot parse is named with
// its line and is not touched when the window closes.
#include "data/connection.h"
#include "shell/radio_group.h"
#include "shell_fixture.h"

#include <QPushButton>
#include <QTest>


namespace talvix::test {
namespace {

struct BareRow {
  const char* scenario;
  const char* statements;
  const char* missingTable;  // as Firebird names it in the error
};

class BadInputWindowTest : public ShellTest {};

TEST_F(BadInputWindowTest, ADatabaseWithoutTheStockTablesShowsTheErrorAndTheWindowStaysUsable) {
  const BareRow rows[] = {
      {"no tables: the blocked-period check", "", "-N_BLOKDIENAS"},
      {"blocked days only: the method query",
       "CREATE TABLE N_BLOKDIENAS (ISN INTEGER NOT NULL PRIMARY KEY, DATUMS DATE);", "-N_ISI"},
  };
  int number = 0;
  for (const BareRow& row : rows) {
    SCOPED_TRACE(row.scenario);
    boxes.clear();
    const std::string file = dir.file("bare" + std::to_string(++number) + ".fdb");
    createDatabase(file, row.statements);
    listDatabases({{"Tukša", file}});
    TAutoIepCenSad window;
    window.FormCreate();
    ASSERT_TRUE(window.databaseOpen()) << "a database without the tables still opens";
    EXPECT_TRUE(boxes.empty());
    window.shIzrakstisana->setItemIndex(1);  // a run that prices something, so the checks are reached
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    for (int press = 1; press <= 2; ++press) {
      SCOPED_TRACE("press " + std::to_string(press));
      QTest::mouseClick(window.btPieskirs, Qt::LeftButton);
      ASSERT_EQ(boxes.size(), static_cast<std::size_t>(press));
      EXPECT_EQ(boxes.back().kind, shell::BoxKind::Error);
      EXPECT_NE(boxes.back().text.find("Table unknown"), std::string::npos) << boxes.back().text;
      EXPECT_NE(boxes.back().text.find(row.missingTable), std::string::npos) << boxes.back().text;
      EXPECT_TRUE(window.isVisible());
      EXPECT_TRUE(window.btPieskirs->isEnabled());
      EXPECT_FALSE(window.terminateRequested());
    }
    // The controls still answer, and closing saves them.
    window.shIzrakstisana->setItemIndex(2);
    EXPECT_TRUE(window.close());
    auto key = settingsKey();
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->readInteger(shell::kIzrakstisanaChk), 2);
  }
}

TEST_F(BadInputWindowTest, ARegistryFileThatCannotBeParsedIsNamedAndNotTouchedWhenTheWindowCloses) {
  const std::string bytes = "Windows Registry Editor Version 5.00\n\n"
                            "[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\Bazes]\n"
                            "\"Noliktava\"=\"" + dir.file("stock.fdb") + "\n";
  std::ofstream(registryPath, std::ios::binary) << bytes;
  {
    TAutoIepCenSad window;
    window.FormCreate();
    EXPECT_FALSE(window.databaseOpen());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].kind, shell::BoxKind::Error);
    EXPECT_EQ(boxes[0].text.rfind(registryPath + ":4: ", 0), 0u) << boxes[0].text;
    window.close();
  }
  EXPECT_EQ(readBytes(registryPath), bytes);
}

}  // namespace
}  // namespace talvix::test
