// A continuous FIFO run in the window's event loop, stopped by the person: the title bar's close,
// "Aizvērt" and Escape reach the window through the events the run lets through, the run ends after
// a committed line with "Process apturēts"; after a close the window closes with its settings saved
// and the loop ends, after Escape it stays open with its menu usable. Meanwhile a line says the run
// goes on and how to stop it, and every other input is dropped; the same input given to the idle
// window is taken.
#include "data/main_form_dati.h"
#include "data/pricing_library.h"
#include "shell/painting_sleeper.h"
#include "shell/radio_group.h"
#include "shell/run_input_gate.h"
#include "shell_fixture.h"
#include "step/stop_request.h"
#include "support/test_database.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace talvix::test {
namespace {

DateTime mar(int day) { return makeDate(2026, 3, day); }

void postClick(QWidget* widget, Qt::MouseButton button = Qt::LeftButton) {
  const QPointF at = QRectF(widget->rect()).center();
  const QPointF global = widget->mapToGlobal(at);
  for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
    QCoreApplication::postEvent(
        widget, new QMouseEvent(type, at, global, button, type == QEvent::MouseButtonPress ? button : Qt::NoButton,
                                Qt::NoModifier));
}

void postKey(QWidget* widget, int key) {
  QCoreApplication::postEvent(widget, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
  QCoreApplication::postEvent(widget, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
}

// Input a person may give the window, and whether the window took it.
struct InputRow {
  const char* input;
  std::function<void(TAutoIepCenSad&)> give;
  std::function<bool(TAutoIepCenSad&)> taken;
};

const InputRow kInputs[] = {
    {"click on a check box", [](TAutoIepCenSad& w) { postClick(w.chkPedejaCena); },
     [](TAutoIepCenSad& w) { return w.chkPedejaCena->isChecked(); }},
    {"click on a mode", [](TAutoIepCenSad& w) { postClick(w.shAtgriezsana->item(2)); },
     [](TAutoIepCenSad& w) { return w.shAtgriezsana->itemIndex() == 2; }},
    {"right click on the log",
     [](TAutoIepCenSad& w) {
       QWidget* list = w.lstProcess->viewport();
       QCoreApplication::postEvent(
           list, new QContextMenuEvent(QContextMenuEvent::Mouse, QPoint(5, 5), list->mapToGlobal(QPoint(5, 5))));
     },
     [](TAutoIepCenSad& w) { return w.progressMenu->isVisible(); }},
    {"Space on a check box", [](TAutoIepCenSad& w) { postKey(w.chkIMEI, Qt::Key_Space); },
     [](TAutoIepCenSad& w) { return w.chkIMEI->isChecked(); }},
};

struct StopRow {
  const char* gesture;
  std::function<void(TAutoIepCenSad&)> give;
  bool closes;
};

const StopRow kStops[] = {
    {"title bar close", [](TAutoIepCenSad& w) { QCoreApplication::postEvent(&w, new QCloseEvent); }, true},
    {"Aizvērt", [](TAutoIepCenSad& w) { postClick(w.BtClose); }, true},
    {"Escape", [](TAutoIepCenSad& w) { postKey(w.lstProcess, Qt::Key_Escape); }, false},
};

constexpr char kPassEnd[] = "FIFO piešķiršana pabeigta ";
// Ends a run the gesture failed to stop, so that the test fails instead of hanging.
constexpr int kPassesBeforeGivingUp = 5;

class WindowStopTest : public ShellTest {
 protected:
  // Two issues the first pass can price, on a FIFO database; issues in mode 1, a continuous run.
  std::unique_ptr<TAutoIepCenSad> openWindow() {
    db = std::make_unique<TestDatabase>();
    db->setFifo(1);
    const int g = db->goods("Siers");
    db->receipt({.date = mar(1), .goods = g, .qty = 10, .price = 2});
    issues = {db->issue({.date = mar(3), .goods = g}), db->issue({.date = mar(4), .goods = g})};
    listDatabases({{"Demo", db->path()}});
    auto window = std::make_unique<TAutoIepCenSad>();
    window->FormCreate();
    EXPECT_TRUE(window->databaseOpen());
    window->typePeriod(QDate(2026, 3, 1), QDate(2026, 3, 31));
    window->shIzrakstisana->setItemIndex(kOnlyWithoutCost);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    return window;
  }

  // Presses the button from the event loop and calls onLine with every text the run writes, then
  // afterRun once the button's action returned; returns the loop's exit code once it has ended.
  int runInEventLoop(TAutoIepCenSad& window, std::function<void(const std::string& text)> onLine,
                     std::function<void()> afterRun = {}) {
    int passes = 0;
    shell::setLineObserver([&](const std::string&, const std::string& text, bool) {
      if (text.rfind(kPassEnd, 0) == 0 && ++passes > kPassesBeforeGivingUp) requestStop();
      onLine(text);
    });
    QTimer::singleShot(0, &window, [&] {
      window.btPieskirsClick();
      if (afterRun) afterRun();
    });
    const int code = QApplication::exec();
    shell::setLineObserver({});
    return code;
  }

  static QString textOf(const TAutoIepCenSad& window, int row) {
    const QString line = window.lstProcess->item(row)->text();
    return line.mid(line.indexOf(u' ') + 1);
  }

  std::unique_ptr<TestDatabase> db;
  std::vector<int> issues;
};

TEST_F(WindowStopTest, CloseAizvertOrEscapeStopsTheRunAfterItsLineAndCloseAlsoClosesTheWindow) {
  for (const StopRow& stop : kStops) {
    SCOPED_TRACE(stop.gesture);
    auto window = openWindow();
    QSignalSpy presses(window->btPieskirs, &QPushButton::clicked);
    bool given = false;
    QString saidDuringTheRun;
    struct {
      bool open = false, menu = false, controls = false;
      QString said;
    } afterStop;
    const int code = runInEventLoop(
        *window,
        [&](const std::string& text) {
          if (given || text.rfind(kPassEnd, 0) != 0) return;
          given = true;
          if (window->lblDarbiba->isVisible()) saidDuringTheRun = window->lblDarbiba->text();
          // Changed behind the window: only a save at the close puts the control's value back.
          registry.openForWrite(shell::kSettingsKey)->writeInteger(shell::kAtgriesanaChk, 7);
          postClick(window->btPieskirs);
          for (const InputRow& input : kInputs) input.give(*window);
          stop.give(*window);
          stop.give(*window);  // a second one while the stop is pending does nothing more
        },
        [&] {
          afterStop.open = window->isVisible();
          afterStop.said = window->lblDarbiba->isVisible() ? window->lblDarbiba->text() : QString();
          afterStop.controls = window->btPieskirs->isEnabled() && window->shIzrakstisana->isEnabled();
          if (!afterStop.open) return;
          openProgressMenu(*window);
          afterStop.menu = window->progressMenu->isVisible() && window->progressMenu->copyAll->isEnabled();
          window->progressMenu->close();
          window->close();  // as the person would, to end the loop
        });

    EXPECT_EQ(code, 0);
    EXPECT_EQ(saidDuringTheRun, QStringLiteral("Darbojas nepārtraukti; Esc aptur"));
    EXPECT_EQ(afterStop.open, !stop.closes);
    EXPECT_EQ(afterStop.menu, !stop.closes) << "the menu after an Escape";
    EXPECT_TRUE(afterStop.controls) << "the controls stay greyed";
    EXPECT_TRUE(afterStop.said.isEmpty()) << afterStop.said.toStdString();
    EXPECT_FALSE(window->isVisible()) << "the window did not close";
    EXPECT_EQ(textOf(*window, 0), QStringLiteral("Datu bāze: Demo, metode: FIFO"));
    EXPECT_FALSE(window->terminateRequested());
    const int last = window->lstProcess->count() - 1;
    ASSERT_GE(last, 1);
    EXPECT_EQ(textOf(*window, last), QString::fromUtf8(kProcessStopped));
    EXPECT_NE(textOf(*window, last - 1), QString::fromUtf8(kProcessStopped)) << "stopped twice";
    for (const int line : issues) EXPECT_DOUBLE_EQ(db->issueCost(line), 2.0) << "line " << line;
    auto key = settingsKey();
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->readInteger(shell::kIzrakstisanaChk), kOnlyWithoutCost);
    EXPECT_EQ(key->readInteger(shell::kAtgriesanaChk), kSkip);
    EXPECT_EQ(presses.count(), 0) << "the assign button took a click during the run";
    for (const InputRow& input : kInputs) EXPECT_FALSE(input.taken(*window)) << input.input << " was taken";
    EXPECT_FALSE(stopRequested());
  }
}

// Escape early in a run that prices every issue anew: the run says how far it got, and
// every line keeps its cost, so the count of lines without cost is what it was before the run.
TEST_F(WindowStopTest, EscapeInAnAllAnewRunLeavesNoLineWithoutTheCostItHad) {
  constexpr int kIssues = 1500;  // the window lets Escape through every 100 ms: a run of seconds
  db = std::make_unique<TestDatabase>();
  db->setFifo(1);
  const int g = db->goods("Siers");
  db->receipt({.date = mar(1), .goods = g, .qty = 1000, .price = 2});
  std::vector<int> lines;
  for (int i = 0; i < kIssues; ++i) lines.push_back(db->issue({.date = mar(2 + i % 28), .goods = g, .cost = 3.0}));
  lines.push_back(db->issue({.date = mar(5), .goods = g, .cost = 0.0}));  // priced by the run, not before it
  listDatabases({{"Demo", db->path()}});
  auto window = std::make_unique<TAutoIepCenSad>();
  window->FormCreate();
  ASSERT_TRUE(window->databaseOpen());
  window->typePeriod(QDate(2026, 3, 1), QDate(2026, 3, 31));
  window->shIzrakstisana->setItemIndex(kAllAnew);
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  const std::size_t before = window->unpricedLines().size();

  bool given = false;
  std::size_t after = 0;
  runInEventLoop(
      *window,
      [&](const std::string& text) {
        if (given || text != "10/" + std::to_string(kIssues + 1)) return;
        given = true;
        postKey(window->lstProcess, Qt::Key_Escape);
        // Now, not at the next 100 ms: without its commits per line the run may end before then.
        shell::letPendingEventsThrough();
      },
      [&] {
        after = window->unpricedLines().size();
        window->close();
      });

  ASSERT_TRUE(given) << "the run never reached its tenth line";
  EXPECT_EQ(after, before);
  const int last = window->lstProcess->count() - 1;
  ASSERT_GE(last, 1);
  EXPECT_EQ(textOf(*window, last), QString::fromUtf8(kProcessStopped));
  EXPECT_TRUE(textOf(*window, last - 1).startsWith(QStringLiteral("Apturēts pirms beigām, piešķirot ")))
      << textOf(*window, last - 1).toStdString();
  int changed = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) changed += db->issueCost(lines[i]) != (i < kIssues ? 3.0 : 0.0);
  EXPECT_EQ(changed, 0) << "lines whose cost the stopped run changed";
}

// The count that follows the close is the countdown's last line.
TEST_F(WindowStopTest, CloseDuringTheRecoveryCountdownStopsTheRun) {
  auto window = openWindow();
  bool closed = false, cut = false;
  const int code = runInEventLoop(*window, [&](const std::string& text) {
    if (!cut && text == "Sāku FIFO ...") {
      cut = true;
      window->pricing()->mainFormDati().PRECES_DB.close();  // the database goes away mid-pass
    }
    if (!closed && text == "Gaidu 30 sekundes ...") {
      closed = true;
      QCoreApplication::postEvent(window.get(), new QCloseEvent);
    }
  });
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(window->isVisible());
  const int last = window->lstProcess->count() - 1;
  ASSERT_GE(last, 1);
  EXPECT_EQ(textOf(*window, last), QString::fromUtf8(kProcessStopped));
  EXPECT_EQ(textOf(*window, last - 1), QStringLiteral("Gaidu 29 sekundes ..."));
}

// A wait that went on after the stop would outlast the test's time limit.
TEST(PaintingSleeperTest, AStopAskedWhileTheWindowWaitsEndsTheWaitAtOnce) {
  constexpr int kAnHour = 3600 * 1000;
  shell::PaintingSleeper sleeper;
  QTimer::singleShot(0, [] { requestStop(); });
  sleeper.sleepMilliseconds(kAnHour);
  EXPECT_TRUE(stopRequested());
  clearStopRequest();
}

// The same input, given while no run holds the window, is taken: the rows above test something.
TEST_F(WindowStopTest, TheSameInputIsTakenWhileNoRunHoldsTheWindow) {
  TAutoIepCenSad window;
  for (const char* text : {"Sāku FIFO ...", "Process pabeigts"}) window.AddProcessLine(text, false);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  for (const InputRow& input : kInputs) {
    SCOPED_TRACE(input.input);
    input.give(window);
    QCoreApplication::processEvents();
    EXPECT_TRUE(input.taken(window));
    window.progressMenu->close();
  }
}

// What the status row shows while a run of seconds prices 1501 issues: the bar counts the step it is
// in against that step's total (the resets of an all-anew run too), a continuous run that rests says
// since when and what its pass changed, and nothing of it stays after the run.
struct StatusRow {
  const char* scenario;
  int mode;
  double costBefore;
  bool continuous;
  bool resets;  // issues are reset one by one first, the bar counting them as "Dzēšu n no m"
};

const StatusRow kStatusRows[] = {
    {"only without cost: a continuous run that rests", kOnlyWithoutCost, 0.0, true, false},
    {"all anew: one run that resets first", kAllAnew, 3.0, false, true},
};

TEST_F(WindowStopTest, StatusRowCountsEachStepAndTellsARestingRunsSinceAndResult) {
  constexpr int kIssues = 1500;
  for (const StatusRow& row : kStatusRows) {
    SCOPED_TRACE(row.scenario);
    db = std::make_unique<TestDatabase>();
    db->setFifo(1);
    const int g = db->goods("Siers");
    db->receipt({.date = mar(1), .goods = g, .qty = 2000, .price = 2});
    for (int i = 0; i < kIssues; ++i) db->issue({.date = mar(2 + i % 28), .goods = g, .cost = row.costBefore});
    db->issue({.date = mar(5), .goods = g, .cost = 0.0});
    listDatabases({{"Demo", db->path()}});
    auto window = std::make_unique<TAutoIepCenSad>();
    window->FormCreate();
    ASSERT_TRUE(window->databaseOpen());
    window->typePeriod(QDate(2026, 3, 1), QDate(2026, 3, 31));
    window->shIzrakstisana->setItemIndex(row.mode);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));

    struct Count {
      QString text;
      int value, maximum;
    };
    std::vector<Count> counts;
    QString restLine, restResult, startedAt = QTime::currentTime().toString(u"HH:mm:ss");
    bool barWithRest = false;
    const auto look = [&] {
      if (window->pbProcess->isVisible())
        counts.push_back({window->pbProcess->text(), window->pbProcess->value(), window->pbProcess->maximum()});
      if (!restLine.isEmpty() || !window->lblDarbiba->text().startsWith(QStringLiteral("Gaida"))) return;
      restLine = window->lblDarbiba->text();
      restResult = window->lblRezultats->isVisible() ? window->lblRezultats->text() : QString();
      barWithRest = window->pbProcess->isVisible();
      postKey(window->lstProcess, Qt::Key_Escape);
    };
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, look);
    watch.start(5);
    bool statusAfter = true;
    runInEventLoop(
        *window, [&](const std::string&) { look(); },
        [&] {
          watch.stop();
          statusAfter =
              window->pbProcess->isVisible() || window->lblRezultats->isVisible() || window->lblDarbiba->isVisible();
          window->close();
        });

    EXPECT_FALSE(statusAfter) << "the status row stayed after the run";
    // A reset shorter than the moment the bar waits for shows none; one that shows counts every line.
    const QRegularExpression stepCount(QStringLiteral(R"(^(Dzēšu )?(\d+) no (\d+)$)"));
    bool pricedWhole = false;
    int resetCounts = 0;
    for (const Count& count : counts) {
      const QRegularExpressionMatch match = stepCount.match(count.text);
      ASSERT_TRUE(match.hasMatch()) << count.text.toStdString();
      EXPECT_EQ(match.captured(2).toInt(), count.value) << count.text.toStdString();
      EXPECT_EQ(match.captured(3).toInt(), count.maximum) << count.text.toStdString();
      EXPECT_EQ(count.maximum, kIssues + 1) << count.text.toStdString();
      const bool reset = match.hasCaptured(1);
      resetCounts += reset;
      pricedWhole = pricedWhole || (!reset && count.value == count.maximum);
    }
    // Without its commits per line an all-anew run may end within the moment: its bar is then checked
    // only where it showed.
    if (row.continuous) {
      EXPECT_TRUE(pricedWhole) << "the bar never showed the pricing step whole; it showed " << counts.size()
                               << " times";
    }
    if (!row.resets) {
      EXPECT_EQ(resetCounts, 0);
    }
    if (!row.continuous) {
      EXPECT_TRUE(restLine.isEmpty()) << restLine.toStdString();
      continue;
    }
    const QRegularExpressionMatch rest =
        QRegularExpression(QStringLiteral(R"(^Gaida izmaiņas kopš (\d\d:\d\d:\d\d); Esc aptur$)")).match(restLine);
    ASSERT_TRUE(rest.hasMatch()) << restLine.toStdString();
    const QRegularExpressionMatch result =
        QRegularExpression(QStringLiteral(R"(^(\d\d:\d\d:\d\d): 1501 rinda, )")).match(restResult);
    ASSERT_TRUE(result.hasMatch()) << restResult.toStdString();
    EXPECT_LE(startedAt, result.captured(1));
    EXPECT_LE(result.captured(1), rest.captured(1)) << "the rest began before the pass it follows had ended";
    EXPECT_FALSE(barWithRest) << "the bar stayed while the run rests";
  }
}

}  // namespace
}  // namespace talvix::test
