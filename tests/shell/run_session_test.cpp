// The session without a window against the window over it: the days its period takes are the ones
// the pickers take, with the time of day the pickers keep; created on one registry and database the
// headless front settles on the settings, boxes and outcome the window does; and the line observer
// hears from it what it hears from the window's list.
#include "shell/date_picker.h"
#include "shell/headless_front.h"
#include "shell_fixture.h"
#include "support/test_database.h"

#include <cmath>

namespace talvix::test {
namespace {

class RunSessionTest : public ShellTest {};

struct TypedRow {
  const char* scenario;
  DateTime kept;  // what the picker held before
  QDate day;
};

TEST_F(RunSessionTest, ThePeriodTakesTheDaysThePickersTakeAndKeepsTheirTimeOfDay) {
  const TypedRow rows[] = {
      {"a day keeps the time of day", makeDateTime(2026, 3, 5, 8, 30, 0), QDate(2026, 3, 1)},
      {"the first day the pickers hold", makeDateTime(2026, 3, 5, 23, 59, 0), QDate(1900, 1, 1)},
      {"the last day the pickers hold", makeDate(2026, 3, 5), QDate(2099, 12, 31)},
      {"the day before the first is refused", makeDate(2026, 3, 5), QDate(1899, 12, 31)},
      {"a day after the last is refused", makeDate(2026, 3, 5), QDate(2100, 1, 1)},
      {"a year typed as 8202 is refused", makeDate(2026, 3, 5), QDate(8202, 10, 1)},
      {"no day is refused", makeDate(2026, 3, 5), QDate()},
      {"the day already shown changes nothing", makeDateTime(2026, 3, 1, 6, 0, 0), QDate(2026, 3, 1)},
      {"a day before the range shows as the first: typing that changes nothing", -10.25, QDate(1900, 1, 1)},
      {"a day before the range takes another day with its time", -10.25, QDate(2000, 1, 1)},
  };
  for (const TypedRow& row : rows) {
    SCOPED_TRACE(row.scenario);
    shell::DatePicker picker(nullptr);
    picker.setValue(row.kept);
    const bool held = row.day.isValid() && row.day >= picker.minimumDate() && row.day <= picker.maximumDate();
    if (held) picker.setDate(row.day);

    shell::HeadlessFront front;
    RunSettings settings = front.session().settings();
    settings.dateFrom = settings.dateTo = row.kept;
    front.session().setSettings(settings);
    EXPECT_EQ(front.session().typePeriod(row.day, row.day), held);
    EXPECT_DOUBLE_EQ(front.session().settings().dateFrom, picker.value());
    EXPECT_DOUBLE_EQ(front.session().settings().dateTo, picker.value());
  }
}

void expectSameSettings(const RunSettings& window, const RunSettings& headless) {
  EXPECT_DOUBLE_EQ(headless.dateFrom, window.dateFrom);
  EXPECT_DOUBLE_EQ(headless.dateTo, window.dateTo);
  for (const DocumentKind kind : kAllKinds) EXPECT_EQ(headless.mode(kind), window.mode(kind));
  EXPECT_EQ(headless.lastPurchasePrice, window.lastPurchasePrice);
  EXPECT_EQ(headless.firstSalePrice, window.firstSalePrice);
  EXPECT_EQ(headless.skipServices, window.skipServices);
  EXPECT_EQ(headless.serialLookup, window.serialLookup);
}

struct CreationRow {
  const char* scenario;
  std::function<void(RegistryStore&)> store;  // the settings key as it stands before creation
  std::string database;                       // asked for by name; "" for LastDBIndex's choice
};

TEST_F(RunSessionTest, WithoutAWindowCreationSettlesAsTheWindowDoes) {
  TestDatabase db;
  listDatabases({{"Demo", db.path()}});
  const CreationRow rows[] = {
      {"nothing stored: the library's default period", [](RegistryStore&) {}, ""},
      {"stored, with a mode outside 0..2 kept as it is",
       [](RegistryStore& registry) {
         RunSettings stored;
         stored.dateFrom = makeDateTime(2025, 1, 2, 8, 0, 0);
         stored.dateTo = makeDateTime(2025, 2, 3, 20, 0, 0);
         stored.transfers = 1;
         stored.issues = 7;
         stored.serialLookup = true;
         shell::saveSettings(registry, stored);
       },
       ""},
      {"a missing value: its error box, and what was read before it",
       [](RegistryStore& registry) {
         auto key = registry.openForWrite(shell::kSettingsKey);
         key->writeDateTime(shell::kDatumsNo, makeDate(2025, 1, 1));
         key->writeInteger(shell::kPedejaCena, 1);
       },
       ""},
      {"a name that is not listed", [](RegistryStore&) {}, "Nav"},
  };
  for (const CreationRow& row : rows) {
    SCOPED_TRACE(row.scenario);
    listDatabases({{"Demo", db.path()}});
    row.store(registry);
    boxes.clear();
    TAutoIepCenSad window;
    window.useDatabase(row.database);
    window.FormCreate();
    const std::vector<Box> windowBoxes = boxes;
    boxes.clear();
    shell::HeadlessFront front;
    front.session().useDatabase(row.database);
    front.create();

    EXPECT_EQ(front.session().databaseOpen(), window.databaseOpen());
    EXPECT_EQ(front.session().terminateRequested(), window.terminateRequested());
    expectSameSettings(window.settingsFromControls(), front.session().settings());
    ASSERT_EQ(boxes.size(), windowBoxes.size());
    for (std::size_t at = 0; at < boxes.size(); ++at) {
      EXPECT_EQ(boxes[at].kind, windowBoxes[at].kind);
      EXPECT_EQ(boxes[at].text, windowBoxes[at].text);
    }
  }
}

struct Heard {
  std::string line;
  std::string text;
  bool replaced;
};

std::vector<Heard> heardFrom(ProgressLog& log) {
  std::vector<Heard> heard;
  shell::setLineObserver([&heard](const std::string& line, const std::string& text, bool replaced) {
    heard.push_back({line, text, replaced});
  });
  // A counter on an empty log, then past the list's limit, where the list empties and a counter
  // starts a line again.
  log.AddProcessLine("Dzēšu 1", true);
  for (int line = 1; line <= shell::kMaxLogLines; ++line) log.AddProcessLine("rinda " + std::to_string(line), false);
  for (const bool replace : {true, true, false, true}) log.AddProcessLine("Dzēšu 2", replace);
  shell::setLineObserver({});
  return heard;
}

TEST_F(RunSessionTest, TheLineObserverHearsFromTheHeadlessFrontWhatTheWindowsListTellsIt) {
  TAutoIepCenSad window;
  const std::vector<Heard> fromWindow = heardFrom(window);
  shell::HeadlessFront front;
  const std::vector<Heard> fromFront = heardFrom(front);
  ASSERT_EQ(fromFront.size(), fromWindow.size());
  const QString format = shell::longTimeFormat(QLocale::system());
  for (std::size_t at = 0; at < fromFront.size(); ++at) {
    SCOPED_TRACE(at);
    EXPECT_EQ(fromFront[at].text, fromWindow[at].text);
    EXPECT_EQ(fromFront[at].replaced, fromWindow[at].replaced);
    const QString line = QString::fromStdString(fromFront[at].line);
    const QString text = QString::fromStdString(fromFront[at].text);
    ASSERT_TRUE(line.endsWith(u' ' + text)) << fromFront[at].line;
    EXPECT_TRUE(QLocale::system().toTime(line.chopped(text.size() + 1), format).isValid()) << fromFront[at].line;
  }
}

}  // namespace
}  // namespace talvix::test
