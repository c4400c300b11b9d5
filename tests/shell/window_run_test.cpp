// The assign button and the exported entry on the window: the run sees the controls, writes to the
// window's list, and whatever leaves it ends in the right place.
#include "data/main_form_dati.h"
#include "data/pricing_library.h"
#include "run/nothing_to_price.h"
#include "shell/date_picker.h"
#include "shell/progress_list.h"
#include "shell/radio_group.h"
#include "shell_fixture.h"
#include "step/stop_request.h"
#include "support/test_database.h"

#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <cstdio>

namespace talvix::test {
namespace {

class WindowRunTest : public ShellTest {
 protected:
  // A window created on the fixture's database with the given costing method.
  std::unique_ptr<TAutoIepCenSad> openWindow(int isififo) {
    db.setFifo(isififo);
    listDatabases({{"Demo", db.path()}});
    auto window = std::make_unique<TAutoIepCenSad>();
    window->FormCreate();
    EXPECT_TRUE(window->databaseOpen());
    return window;
  }

  static QString lastText(const TAutoIepCenSad& window) {
    const QString line = window.lstProcess->item(window.lstProcess->count() - 1)->text();
    return line.mid(line.indexOf(u' ') + 1);
  }

  TestDatabase db;
};

TEST_F(WindowRunTest, TheButtonRunsOnTheControlsAndLogsInTheList) {
  auto window = openWindow(0);
  window->chkIMEI->setChecked(true);
  window->shIzrakstisana->setItemIndex(1);
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));

  QTest::mouseClick(window->btPieskirs, Qt::LeftButton);
  EXPECT_TRUE(boxes.empty()) << boxes.front().text;
  ASSERT_GT(window->lstProcess->count(), 0);
  const QString first = window->lstProcess->item(0)->text();
  EXPECT_EQ(first.mid(first.indexOf(u' ') + 1), QStringLiteral("Datu bāze: Demo, metode: vidējā svērtā cena"));
  EXPECT_TRUE(lastText(*window).startsWith(QStringLiteral("Vidējā svērtā piešķiršana pabeigta ")))
      << lastText(*window).toStdString();
  auto key = settingsKey();
  ASSERT_NE(key, nullptr) << "the run saved the settings";
  EXPECT_EQ(key->readInteger(shell::kIMEI), 1);
  EXPECT_EQ(key->readInteger(shell::kIzrakstisanaChk), 1);
}

// A mode the tool never writes, put in the registry by hand: the kind runs as "only without cost"
// (nothing reset) and the number goes back as it was.
TEST_F(WindowRunTest, AStoredModeOutsideTheItemsRunsAsOnlyWithoutCostAndIsSavedBack) {
  for (const int stored : {3, 7}) {
    SCOPED_TRACE(stored);
    TestDatabase base;
    base.setFifo(0);
    const int g = base.goods();
    base.receipt({.date = makeDate(2026, 3, 1), .goods = g, .qty = 10, .price = 2});
    const int priced = base.issue({.date = makeDate(2026, 3, 3), .goods = g, .cost = 5.0});
    const int unpriced = base.issue({.date = makeDate(2026, 3, 3), .goods = g, .cost = 0.0});
    listDatabases({{"Demo", base.path()}});
    {
      auto key = registry.openForWrite(shell::kSettingsKey);
      key->writeDateTime(shell::kDatumsNo, makeDate(2026, 3, 1));
      key->writeDateTime(shell::kDatumsLidz, makeDate(2026, 3, 31));
      key->writeInteger(shell::kPedejaCena, 0);
      key->writeInteger(shell::kParvietosanaChk, 0);
      key->writeInteger(shell::kIzrakstisanaChk, stored);
      key->writeInteger(shell::kAtgriesanaChk, 0);
    }
    TAutoIepCenSad window;
    window.FormCreate();
    ASSERT_TRUE(window.databaseOpen());
    for (int index = 0; index < window.shIzrakstisana->count(); ++index)
      EXPECT_FALSE(window.shIzrakstisana->item(index)->isChecked()) << "item " << index;

    window.btPieskirsClick();
    EXPECT_TRUE(boxes.empty()) << boxes.front().text;
    EXPECT_DOUBLE_EQ(base.issueCost(priced), 5.0) << "a line with a cost was reset";
    EXPECT_DOUBLE_EQ(base.issueCost(unpriced), 2.0);
    EXPECT_EQ(settingsKey()->readInteger(shell::kIzrakstisanaChk), stored);

    window.shIzrakstisana->item(1)->click();
    window.SaveSettings();
    EXPECT_EQ(settingsKey()->readInteger(shell::kIzrakstisanaChk), 1) << "the user's pick replaces it";
  }
}

TEST_F(WindowRunTest, DllCallMakePasizmShowsTheWindowAndRuns) {
  auto window = openWindow(0);
  ASSERT_FALSE(window->isVisible());
  window->DllCallMakePasizm();
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(lastText(*window).startsWith(QStringLiteral("Vidējā svērtā piešķiršana pabeigta ")));
}

TEST_F(WindowRunTest, AnErrorLeavingTheRunIsShownAndTheWindowStaysUsable) {
  auto window = openWindow(0);
  window->show();
  // The database went away: the idle window holds no attachment, so its run finds the file gone.
  db.connection().close();
  std::filesystem::rename(db.path(), db.path() + ".moved");
  window->btPieskirsClick();
  std::filesystem::rename(db.path() + ".moved", db.path());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, shell::BoxKind::Error);
  EXPECT_EQ(boxes[0].text.rfind("Nevaru atvērt datu bāzi !!! Datu bāzes fails nav atrasts", 0), 0u) << boxes[0].text;
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->btPieskirs->isEnabled());
  EXPECT_FALSE(window->terminateRequested());
}

TEST_F(WindowRunTest, AStopFromOutsideEndsTheProgramWithoutAnErrorBox) {
  auto window = openWindow(1);
  window->shIzrakstisana->setItemIndex(kOnlyWithoutCost);  // a continuous run
  shell::setLineObserver([](const std::string&, const std::string&, bool) { requestStop(); });
  window->btPieskirsClick();
  shell::setLineObserver({});
  EXPECT_TRUE(boxes.empty()) << boxes.front().text;
  EXPECT_TRUE(window->terminateRequested());
  EXPECT_EQ(lastText(*window), QString::fromUtf8(kProcessStopped));
  EXPECT_FALSE(stopRequested()) << "the request ended with its run";
}

TEST_F(WindowRunTest, AStopAskedForBeforeARunDoesNotStopIt) {
  auto window = openWindow(1);
  window->shIzrakstisana->setItemIndex(kAllAnew);  // one pass
  requestStop();
  window->btPieskirsClick();
  EXPECT_FALSE(window->terminateRequested());
  EXPECT_EQ(lastText(*window), QStringLiteral("Process pabeigts"));
}

// Every kind on "Nepiešķirt": under FIFO a run would price nothing for ever, so the window refuses it
// with the host's reason, logging and saving nothing; the weighted average's one run goes on.
TEST_F(WindowRunTest, EveryKindOnNepieskirtIsRefusedAsTheHostRefusesIt) {
  const struct {
    const char* scenario;
    int isififo;
    int issues;
    bool refused;
  } rows[] = {
      {"FIFO, every kind on Nepiešķirt", 1, kSkip, true},
      {"weighted average, every kind on Nepiešķirt", 0, kSkip, false},
      {"FIFO, one kind anew", 1, kAllAnew, false},
      {"FIFO, one kind only without cost: the continuous run starts", 1, kOnlyWithoutCost, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.scenario);
    boxes.clear();
    std::remove(registryPath.c_str());
    auto window = openWindow(row.isififo);
    window->shIzrakstisana->setItemIndex(row.issues);
    window->show();
    // A continuous run is stopped at its first line, as a signal stops it.
    if (row.issues == kOnlyWithoutCost)
      shell::setLineObserver([](const std::string&, const std::string&, bool) { requestStop(); });
    window->btPieskirsClick();
    shell::setLineObserver({});
    ASSERT_EQ(boxes.size(), row.refused ? 1u : 0u);
    if (row.refused) {
      EXPECT_EQ(boxes[0].kind, shell::BoxKind::Message);
      EXPECT_EQ(boxes[0].text.rfind(kNothingToPrice, 0), 0u) << boxes[0].text;
      EXPECT_NE(boxes[0].text.find("Piešķirt tikai ar 0 pašizmaksu"), std::string::npos) << boxes[0].text;
    }
    EXPECT_EQ(window->lstProcess->count() == 0, row.refused);
    EXPECT_EQ(settingsKey() == nullptr, row.refused) << "the settings are saved only by a run";
    EXPECT_TRUE(window->btPieskirs->isEnabled());
    EXPECT_EQ(window->lblDarbiba->isVisible(), false);
  }
}

// The line above "Process :" while a run holds the window: only a FIFO run with no kind on
// "Piešķirt visiem no jauna" goes on until it is stopped.
TEST_F(WindowRunTest, TheBusyLineSaysWhetherTheRunGoesOn) {
  const struct {
    const char* scenario;
    int isififo;
    int issues;
    const char* said;
  } rows[] = {
      {"weighted average", 0, kOnlyWithoutCost, "Piešķir; Esc aptur"},
      {"weighted average, anew", 0, kAllAnew, "Piešķir; Esc aptur"},
      {"FIFO, one kind anew", 1, kAllAnew, "Piešķir; Esc aptur"},
      {"FIFO, only without cost: the continuous run", 1, kOnlyWithoutCost, "Darbojas nepārtraukti; Esc aptur"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.scenario);
    std::remove(registryPath.c_str());
    auto window = openWindow(row.isififo);
    window->shIzrakstisana->setItemIndex(row.issues);
    window->show();
    QString said;
    const bool continuous = row.isififo == 1 && row.issues == kOnlyWithoutCost;
    shell::setLineObserver([&](const std::string&, const std::string&, bool) {
      if (said.isEmpty() && window->lblDarbiba->isVisible()) said = window->lblDarbiba->text();
      if (continuous) requestStop();
    });
    window->btPieskirsClick();
    shell::setLineObserver({});
    EXPECT_TRUE(boxes.empty()) << boxes.front().text;
    EXPECT_EQ(said, QString::fromUtf8(row.said));
  }
}

// After a run the log has the focus, so Ctrl+C copies what the run wrote at once; a run that changed
// costs closes with the line that counts them.
TEST_F(WindowRunTest, AfterARunTheLogHasTheFocusAndTheRunsSummary) {
  const int g = db.goods();
  db.receipt({.date = makeDate(2026, 3, 1), .goods = g, .qty = 10, .price = 2});
  db.issue({.date = makeDate(2026, 3, 3), .goods = g, .qty = 3});
  db.issue({.date = makeDate(2026, 3, 4), .goods = g, .qty = 4});
  auto window = openWindow(1);
  window->typePeriod(QDate(2026, 3, 1), QDate(2026, 3, 31));
  window->shIzrakstisana->setItemIndex(kAllAnew);
  window->show();
  QApplication::setActiveWindow(window.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  window->DatumsNo->setFocus();
  QTest::mouseClick(window->btPieskirs, Qt::LeftButton);
  EXPECT_TRUE(boxes.empty()) << boxes.front().text;
  EXPECT_EQ(QApplication::focusWidget(), window->lstProcess);
  const QStringList lines = window->lstProcess->lines();
  EXPECT_TRUE(lines
                  .filter(QStringLiteral("Mainītas pašizmaksas: 2 rindas, vērtības izmaiņa +14,00; bez pašizmaksas "
                                         "vēl 0 rindas"))
                  .size() == 1)
      << lines.join(u'\n').toStdString();
  QGuiApplication::clipboard()->clear();
  QTest::keyClick(window->lstProcess, Qt::Key_C, Qt::ControlModifier);
  EXPECT_TRUE(QGuiApplication::clipboard()->text().contains(QStringLiteral("Process pabeigts")));
}

}  // namespace
}  // namespace talvix::test
