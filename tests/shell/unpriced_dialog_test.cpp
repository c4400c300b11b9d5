// "Rindas bez pašizmaksas..." against the host's --unpriced-only on the same database and registry:
// the same count for every kind whose mode is not 0, the same lines with the rule and reason of the
// CSV's Latvian columns, the same CSV file from "Saglabāt...", numbers and dates sorted by value,
// every column whole at the dialog's first size; the log and the settings stay. It reads in the
// background and can be cancelled.
#include "shell/unpriced_dialog.h"
#include "shell/date_picker.h"
#include "shell/unpriced_table.h"
#include "shell_fixture.h"
#include "support/csv_records.h"
#include "support/host_registry.h"
#include "support/test_database.h"

#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QProgressDialog>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>

#include <sys/wait.h>

#include <algorithm>
#include <map>
#include <sstream>

namespace talvix::test {
namespace {

DateTime feb(int d) { return makeDate(2026, 2, d); }
DateTime mar(int d) { return makeDate(2026, 3, d); }

struct KindNames {
  const char* caption;  // the window's
  const char* csv;      // the report's kind column
  const char* plural;   // the host's count
};
const KindNames kKinds[] = {{"Pārvietošana", "transfer", "transfers"},
                            {"Izrakstīšana", "issue", "issues"},
                            {"Atgriezšana", "return", "returns"},
                            {"Preču atlikumi", "goods balance", "goods balances"}};

const KindNames& kindBy(const std::string& name) {
  for (const KindNames& kind : kKinds)
    if (name == kind.caption || name == kind.csv || name == kind.plural) return kind;
  ADD_FAILURE() << "no kind " << name;
  return kKinds[0];
}

// Lines of every kind for several reasons, one with a comma and Latvian letters in the goods' name.
void writeHistory(TestDatabase& db) {
  const int g = db.goods("Siers, Rīgas");
  const int h = db.goods("Ķiploki");
  const int service = db.goods("Piegāde", 0, "T");
  db.receipt({.date = feb(20), .dept = 1, .goods = h, .qty = 20, .price = 1.5});
  db.receipt({.date = mar(20), .dept = 1, .goods = g, .qty = 30, .price = 3});  // after every line of g
  db.issue({.date = mar(12), .goods = g, .qty = 2});
  db.issue({.date = mar(13), .goods = g, .qty = 10});
  db.issue({.date = mar(11), .goods = h, .qty = 1});
  db.issue({.date = mar(12), .goods = service});
  db.issue({.date = mar(12), .goods = g, .serial = 123});
  db.issue({.date = mar(12), .dept = 2, .goods = g, .cost = 3.0});  // has a cost
  db.returned({.date = mar(12), .goods = g, .fromWhat = 1});
  db.returned({.date = mar(14), .goods = g, .client = 9});
  db.balance({.date = mar(12), .dept = 3, .goods = g});
  db.transfer({.date = mar(12), .goods = g});
  db.transfer({.date = mar(15), .from = 1, .goods = h, .qty = 2});
}

struct MethodRow {
  const char* method;
  int isififo;
  std::map<std::string, int> settings;
};

const MethodRow kMethods[] = {
    {"FIFO",
     1,
     {{"ParvietosanaChk", 0},
      {"IzrakstisanaChk", 1},
      {"AtgriesanaChk", 1},
      {"AtlikumiChk", 2},
      {"PakalpojumusNe", 1},
      {"IMEI", 1},
      {"PedejaCena", 0},
      {"ParvIzrakst1PardCena", 0}}},
    {"weighted average",
     0,
     {{"ParvietosanaChk", 1},
      {"IzrakstisanaChk", 1},
      {"AtgriesanaChk", 0},
      {"AtlikumiChk", 1},
      {"PakalpojumusNe", 0},
      {"IMEI", 0},
      {"PedejaCena", 0},
      {"ParvIzrakst1PardCena", 0}}},
};

// The rows of a model as text, the report's column order.
std::vector<std::vector<std::string>> modelRows(const QAbstractItemModel& model) {
  std::vector<std::vector<std::string>> rows;
  for (int row = 0; row < model.rowCount(); ++row) {
    rows.emplace_back();
    for (int column = 0; column < model.columnCount(); ++column)
      rows.back().push_back(model.index(row, column).data().toString().toStdString());
  }
  return rows;
}

struct Seen {
  std::vector<std::vector<std::string>> counts, lines;
  std::string saved;
  bool sortsByValue = true;
  bool everyColumnShown = false;
};

class UnpricedDialogTest : public ShellTest {
 protected:
  // What the host writes: the CSV and its closing count.
  std::pair<std::string, std::string> hostReport(TestDatabase& db) {
    const std::string csv = dir.file("host.csv"), out = dir.file("host.out");
    db.connection().close();  // one process at a time opens the embedded file
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY TALVIX_REGISTRY='" + registryPath + "' " +
                                AUTOIEPCENSAD_RUN + " --unpriced-only '" + csv + "' >'" + out + "' 2>&1";
    const int status = std::system(command.c_str());
    db.connection().open();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << readBytes(out);
    std::istringstream lines(readBytes(out));
    std::string summary;
    for (std::string line; std::getline(lines, line);) summary = line;
    return {readBytes(csv), summary};
  }

  // Opens the dialog from the list's menu and reads it, sorts it by a few columns and saves its CSV.
  Seen throughTheWindow(TAutoIepCenSad& window) {
    Seen seen;
    const QString saveTo = QString::fromStdString(dir.file("window.csv"));
    openProgressMenu(window);
    EXPECT_TRUE(window.progressMenu->unpricedLines->isEnabled());
    window.progressMenu->unpricedLines->trigger();
    window.progressMenu->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.unpricedShown() != nullptr; }, 60000));
    shell::UnpricedDialog* dialog = window.unpricedShown();
    if (!dialog) return seen;
    seen.counts = modelRows(*dialog->counts->model());
    seen.lines = modelRows(*dialog->lines->model());
    const QAbstractItemView& view = *dialog->lines;
    seen.everyColumnShown = dialog->lines->horizontalHeader()->sectionViewportPosition(shell::kReasonColumn) +
                                view.sizeHintForColumn(shell::kReasonColumn) <=
                            view.viewport()->width();
    seen.sortsByValue = sortsByValue(*dialog->lines);
    answerSaveDialog(saveTo);
    dialog->findChild<QPushButton*>(QStringLiteral("saveUnpriced"))->click();
    dialog->reject();
    seen.saved = readBytes(saveTo.toStdString());
    return seen;
  }

  // Every order the person can ask for, checked on the values as shown.
  static bool sortsByValue(QTableView& view) {
    const std::vector<std::pair<int, std::function<double(const QString&)>>> columns = {
        {shell::kDateColumn,
         [](const QString& text) {
           return double(QDate::fromString(text, QStringLiteral("dd.MM.yyyy")).toJulianDay());
         }},
        {shell::kQuantityColumn, [](const QString& text) { return text.toDouble(); }},
        {shell::kLineColumn, [](const QString& text) { return text.toDouble(); }},
    };
    bool sorted = view.isSortingEnabled();
    for (const auto& [column, value] : columns) {
      for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
        view.sortByColumn(column, order);
        std::vector<double> values;
        for (int row = 0; row < view.model()->rowCount(); ++row)
          values.push_back(value(view.model()->index(row, column).data().toString()));
        sorted = sorted && (order == Qt::AscendingOrder ? std::is_sorted(values.begin(), values.end())
                                                        : std::is_sorted(values.rbegin(), values.rend()));
      }
    }
    return sorted;
  }
};

TEST_F(UnpricedDialogTest, CountsRowsAndCsvEqualTheHostsReport) {
  for (const MethodRow& method : kMethods) {
    SCOPED_TRACE(method.method);
    TestDatabase db;
    db.setFifo(method.isififo);
    writeHistory(db);
    writeHostRegistry(registryPath, db.path(), mar(1), mar(31), method.settings);
    const auto [csv, summary] = hostReport(db);
    const auto records = parseCsv(csv);
    ASSERT_GT(records.size(), 3u) << csv;

    TAutoIepCenSad window;
    window.FormCreate();
    ASSERT_TRUE(window.databaseOpen());
    window.AddProcessLine("Process pabeigts", false);
    window.show();
    const QStringList logBefore = window.lstProcess->lines();
    const std::string registryBefore = readBytes(registryPath);
    const Seen seen = throughTheWindow(window);
    EXPECT_TRUE(boxes.empty()) << boxes.front().text;

    // "Still without cost: goods balances 1, issues 6, returns 3"
    std::vector<std::vector<std::string>> hostCounts;
    std::istringstream parts(summary.substr(summary.find(':') + 1));
    for (std::string part; std::getline(parts, part, ',');) {
      const std::size_t number = part.find_last_of(' ');
      hostCounts.push_back({kindBy(part.substr(1, number - 1)).caption, part.substr(number + 1)});
    }
    EXPECT_EQ(seen.counts, hostCounts) << summary;

    auto byLine = [](std::vector<std::vector<std::string>> rows) {
      std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        return std::stoi(a[shell::kLineColumn]) < std::stoi(b[shell::kLineColumn]);
      });
      return rows;
    };
    constexpr std::size_t kLatvianRule = 9, kLatvianReason = 10;
    std::vector<std::vector<std::string>> hostLines(records.begin() + 1, records.end());
    for (auto& record : hostLines) {
      ASSERT_EQ(record.size(), kLatvianReason + 1);
      EXPECT_NE(record[kLatvianReason], record[shell::kReasonColumn]) << "not in Latvian";
      record[shell::kKindColumn] = kindBy(record[shell::kKindColumn]).caption;
      record[shell::kQuantityColumn] = QString::number(std::stod(record[shell::kQuantityColumn])).toStdString();
      record[shell::kRuleColumn] = record[kLatvianRule];
      record[shell::kReasonColumn] = record[kLatvianReason];
      record.resize(shell::kUnpricedColumns);
    }
    EXPECT_EQ(byLine(seen.lines), byLine(hostLines));
    EXPECT_EQ(seen.saved, csv);
    EXPECT_TRUE(seen.sortsByValue);
    EXPECT_TRUE(seen.everyColumnShown);
    EXPECT_EQ(window.lstProcess->lines(), logBefore);
    EXPECT_EQ(readBytes(registryPath), registryBefore);
  }
}

// The lines are read on another thread: the menu's action returns with a busy box up, titled with the
// database and the period, the window's events go on meanwhile, and the dialog comes with the same
// title; the busy box's cancel ends the read and no dialog comes.
TEST_F(UnpricedDialogTest, ReadsInTheBackgroundUnderABusyBoxThatCanCancel) {
  TestDatabase db;
  db.setFifo(1);
  writeHistory(db);
  writeHostRegistry(registryPath, db.path(), mar(1), mar(31), kMethods[0].settings);
  TAutoIepCenSad window;
  window.FormCreate();
  ASSERT_TRUE(window.databaseOpen());
  window.show();
  const QString title = window.unpricedTitle();
  const QString format = window.DatumsNo->displayFormat();
  EXPECT_TRUE(title.contains(QDate(2026, 3, 1).toString(format)) && title.contains(QDate(2026, 3, 31).toString(format)))
      << title.toStdString();
  EXPECT_TRUE(title.contains(QString::fromStdString(window.session().databaseName()))) << title.toStdString();

  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
  ticker.start(0);
  window.showUnpricedLines();
  ASSERT_NE(window.unpricedBusy(), nullptr);
  EXPECT_TRUE(window.unpricedBusy()->isVisible());
  EXPECT_EQ(window.unpricedBusy()->windowTitle(), title);
  EXPECT_EQ(window.unpricedShown(), nullptr) << "the lines come through the event loop, not the call";
  {
    // The box is drawn as it stands, not left to the first paint the window system asks for.
    QProgressDialog& busy = *window.unpricedBusy();
    const QImage drawn = busy.grab().toImage();
    ASSERT_FALSE(drawn.isNull());
    int dark = 0;
    for (int y = 0; y < drawn.height(); ++y)
      for (int x = 0; x < drawn.width(); ++x) dark += qGray(drawn.pixel(x, y)) < 32;
    EXPECT_LT(dark, drawn.width() * drawn.height() / 4) << "the box is mostly black";
    EXPECT_TRUE(busy.findChild<QLabel*>()->isVisible());
    EXPECT_EQ(busy.labelText(), QStringLiteral("Lasu perioda rindas bez pašizmaksas..."));
    const auto* bar = busy.findChild<QProgressBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isVisible() && bar->minimum() == 0 && bar->maximum() == 0) << "not a busy bar";
    EXPECT_TRUE(busy.findChild<QPushButton*>()->isVisible());
  }
  EXPECT_EQ(ticks, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.unpricedShown() != nullptr; }, 60000));
  EXPECT_GT(ticks, 0) << "the window's events went on while the lines were read";
  EXPECT_EQ(window.unpricedShown()->windowTitle(), title);
  EXPECT_GT(window.unpricedShown()->lines->model()->rowCount(), 3);
  EXPECT_TRUE(QTest::qWaitFor([&] { return window.unpricedBusy() == nullptr; }, 5000)) << "the busy box went";
  window.unpricedShown()->reject();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.unpricedShown() == nullptr; }, 5000));

  window.showUnpricedLines();
  ASSERT_NE(window.unpricedBusy(), nullptr);
  window.showUnpricedLines();  // a second read while one goes on starts nothing
  window.unpricedBusy()->findChild<QPushButton*>()->click();
  EXPECT_TRUE(QTest::qWaitFor([&] { return window.unpricedBusy() == nullptr; }, 5000));
  QTest::qWait(300);
  EXPECT_EQ(window.unpricedShown(), nullptr) << "a cancelled read shows nothing";
  EXPECT_TRUE(boxes.empty()) << boxes.front().text;
  window.showUnpricedLines();  // the next read is taken again
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.unpricedShown() != nullptr; }, 60000));
  window.unpricedShown()->reject();
}

}  // namespace
}  // namespace talvix::test
