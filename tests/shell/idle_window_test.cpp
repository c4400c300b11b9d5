// The window and the host on one embedded database: an idle window holds no attachment, so the
// host runs while it waits; where another program holds the file, the window says so in Latvian and
// keeps the engine's text; the workbook it saves reads in Latvian.
#include "shell/unpriced_dialog.h"
#include "shell_fixture.h"
#include "support/host_registry.h"
#include "support/test_database.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace talvix::test {
namespace {

DateTime mar(int d) { return makeDate(2026, 3, d); }

// Issues "all anew": the window runs once.
const std::map<std::string, int> kIssuesOnly = {{"ParvietosanaChk", 0}, {"IzrakstisanaChk", 2},
                                                {"AtgriesanaChk", 0},   {"AtlikumiChk", 0},
                                                {"PakalpojumusNe", 0},  {"IMEI", 0},
                                                {"PedejaCena", 0},      {"ParvIzrakst1PardCena", 0}};

class IdleWindowTest : public ShellTest {
 protected:
  IdleWindowTest() {
    db.setFifo(1);
    const int g = db.goods("Siers");
    db.receipt({.date = mar(2), .goods = g, .qty = 10, .price = 2});
    db.issue({.date = mar(12), .goods = g, .qty = 2});
    db.issue({.date = mar(13), .goods = db.goods("Ķiploki"), .qty = 1});  // stays without cost
    writeHostRegistry(registryPath, db.path(), mar(1), mar(31), kIssuesOnly);
    db.connection().close();  // the test's own attachment would hold the file too
  }

  // The host, to its end: its exit status and what it printed.
  std::pair<int, std::string> host(const std::string& arguments) {
    const std::string out = dir.file("host.out");
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY TALVIX_REGISTRY='" + registryPath + "' " +
                                AUTOIEPCENSAD_RUN + " " + arguments + " >'" + out + "' 2>&1";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readBytes(out)};
  }

  std::string unzipped(const std::string& workbook, const std::string& part) {
    const std::string out = dir.file("part.xml");
    std::system(("unzip -p '" + workbook + "' '" + part + "' >'" + out + "'").c_str());
    return readBytes(out);
  }

  TestDatabase db;
};

TEST_F(IdleWindowTest, TheHostRunsWhileTheWindowWaitsBeforeAndAfterItsOwnWork) {
  TAutoIepCenSad window;
  window.FormCreate();
  ASSERT_TRUE(window.databaseOpen());
  window.show();
  struct Step {
    const char* scenario;
    std::function<void()> windowWork;
  };
  const Step steps[] = {
      {"after the window opened", [] {}},
      {"after the window's run", [&] { window.btPieskirsClick(); }},
      {"after the lines without cost were read", [&] { EXPECT_EQ(window.unpricedLines().size(), 1u); }},
      {"after the method was read", [&] { EXPECT_TRUE(window.costsByFifo()); }},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.scenario);
    step.windowWork();
    EXPECT_TRUE(boxes.empty()) << boxes.front().text;
    const auto [status, out] = host("--passes 1");
    EXPECT_EQ(status, 0) << out;
  }
}

TEST_F(IdleWindowTest, ADatabaseAnotherProgramHoldsIsNamedInLatvianWithTheEnginesText) {
  TAutoIepCenSad window;
  window.FormCreate();
  ASSERT_TRUE(window.databaseOpen());
  QProcess running;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("TALVIX_REGISTRY"), QString::fromStdString(registryPath));
  environment.remove(QStringLiteral("DISPLAY"));
  running.setProcessEnvironment(environment);
  running.start(QStringLiteral(AUTOIEPCENSAD_RUN), {QStringLiteral("--issues"), QStringLiteral("1")});  // continuous
  ASSERT_TRUE(running.waitForReadyRead(60000)) << "the host printed nothing";

  window.btPieskirsClick();
  running.terminate();
  EXPECT_TRUE(running.waitForFinished(60000));
  ASSERT_EQ(boxes.size(), 1u);
  const std::string& text = boxes[0].text;
  EXPECT_EQ(text.rfind("Nevaru atvērt datu bāzi !!! Datu bāzi jau atvērusi cita programma", 0), 0u) << text;
  EXPECT_NE(text.find("Aizveriet otru programmu vai atveriet datu bāzi caur Firebird serveri"), std::string::npos);
  EXPECT_NE(text.find("\n"), std::string::npos) << "the engine's text on a line of its own";
  EXPECT_NE(text.find("incompatible with current"), std::string::npos) << text;

  boxes.clear();
  window.btPieskirsClick();  // the file is free again
  EXPECT_TRUE(boxes.empty()) << boxes.front().text;
}

TEST_F(IdleWindowTest, TheWorkbookTheWindowSavesIsInLatvianAndItsCsvKeepsTheMachineColumns) {
  TAutoIepCenSad window;
  window.FormCreate();
  window.show();
  struct Row {
    const char* file;
    std::vector<std::string> present, absent;
  };
  const Row rows[] = {
      {"rindas.xlsx", {"Veids", "Cenas avots", "Iemesls", "Izrakstīšana", "Ķiploki"}, {"issue", "reason_lv"}},
      {"rindas.csv", {"kind,date,department", "issue,", "reason_lv"}, {"Izrakstīšana"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    const std::string path = dir.file(row.file);
    openProgressMenu(window);
    window.progressMenu->unpricedLines->trigger();
    window.progressMenu->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.unpricedShown() != nullptr; }, 60000));  // read in the background
    shell::UnpricedDialog* dialog = window.unpricedShown();
    answerSaveDialog(QString::fromStdString(path));
    dialog->findChild<QPushButton*>(QStringLiteral("saveUnpriced"))->click();
    dialog->reject();
    const std::string text = std::string(row.file).ends_with(".xlsx")
                                 ? unzipped(path, "xl/sharedStrings.xml") + unzipped(path, "xl/workbook.xml")
                                 : readBytes(path);
    for (const std::string& each : row.present) EXPECT_NE(text.find(each), std::string::npos) << each << "\n" << text;
    for (const std::string& each : row.absent) EXPECT_EQ(text.find(each), std::string::npos) << each << "\n" << text;
  }
}

}  // namespace
}  // namespace talvix::test
