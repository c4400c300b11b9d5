// The progress list's context menu on a window no run holds: "Kopēt" and Ctrl+C give the chosen
// line or the whole log, "Kopēt visu" the whole log, a right click chooses no line; the whole log
// starts with the day, database, period and method. "Saglabāt žurnālu..." writes it as UTF-8 text,
// a save that fails says why in Latvian and leaves what stood at the place as it was, and the save
// dialog lists a folder holding a FIFO without opening it.
#include "shell/date_picker.h"
#include "shell/qt_translations.h"
#include "shell/save_dialog.h"
#include "shell/whole_file.h"
#include "shell_fixture.h"
#include "support/test_database.h"

#include <QClipboard>
#include <QFileSystemModel>
#include <QLabel>
#include <QTest>
#include <QTranslator>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <functional>
#include <optional>
#include <sys/resource.h>

namespace talvix::test {
namespace {

constexpr const char* kTexts[] = {"Sāku FIFO ...", "Aprēķinu izrakstīšanu ...", "2/2",
                                  "Ģērbtuve, šķīvji: ĀČĒĢĪĶĻŅŠŪŽ āčēģīķļņšūž", "Process apturēts"};

class LogMenuTest : public ShellTest {
 protected:
  LogMenuTest() {
    for (const char* text : kTexts) window.AddProcessLine(text, false);
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
  }

  // Each line as the list shows it, built from its items.
  std::vector<std::string> shownLines() const {
    std::vector<std::string> lines;
    for (int row = 0; row < window.lstProcess->count(); ++row) {
      lines.push_back(window.lstProcess->item(row)->text().toStdString());
      EXPECT_TRUE(lines.back().ends_with(std::string(" ") + kTexts[row])) << lines.back();
    }
    return lines;
  }

  void takeFromMenu(QAction* action, QContextMenuEvent::Reason reason = QContextMenuEvent::Mouse) {
    openProgressMenu(window, reason);
    ASSERT_TRUE(window.progressMenu->isVisible());
    ASSERT_TRUE(action->isEnabled()) << action->text().toStdString();
    action->trigger();
    window.progressMenu->close();
  }

  void clickRow(int row) {
    // -1: beside the lines; -3: the right button on line 3.
    const int shown = row == -1 ? -1 : row < 0 ? -row : row;
    const QRect line = shown < 0 ? QRect(QPoint(4, window.lstProcess->viewport()->height() - 4), QSize(1, 1))
                                 : window.lstProcess->visualItemRect(window.lstProcess->item(shown));
    QTest::mouseClick(window.lstProcess->viewport(), row < -1 ? Qt::RightButton : Qt::LeftButton, {}, line.center());
    if (QWidget* menu = QApplication::activePopupWidget()) menu->close();
  }

  TAutoIepCenSad window;
};

constexpr int kHeadingLines = 4;

std::string joined(const std::vector<std::string>& lines, const char* end) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) text += lines[i] + (i + 1 < lines.size() ? "\n" : end);
  return text;
}

TEST_F(LogMenuTest, CopyGivesTheChosenLineOrEveryLineWithItsTime) {
  const std::vector<std::string> lines = shownLines();
  const struct {
    const char* choice;
    std::vector<int> clicks;  // rows clicked in turn; -1 beside the lines
    int copied;               // -1: every line
  } rows[] = {
      {"none: the newest line is selected by the log, not by the person", {}, -1},  // first
      {"a line", {3}, 3},
      {"the newest line", {4}, 4},
      {"a line, then beside the lines", {1, -1}, -1},
      {"a line, then a right click on another", {1, -3}, 1},
  };
  const struct {
    const char* way;
    std::function<void()> copy;
    bool whole;
  } ways[] = {
      {"Kopēt", [&] { takeFromMenu(window.progressMenu->copyLog); }, false},
      {"Menu key, Kopēt", [&] { takeFromMenu(window.progressMenu->copyLog, QContextMenuEvent::Keyboard); }, false},
      {"Ctrl+C", [&] { QTest::keyClick(window.lstProcess, Qt::Key_C, Qt::ControlModifier); }, false},
      {"Kopēt visu", [&] { takeFromMenu(window.progressMenu->copyAll); }, true},
  };
  for (const auto& row : rows) {
    for (const auto& way : ways) {
      SCOPED_TRACE(std::string(row.choice) + " / " + way.way);
      for (const int clicked : row.clicks) clickRow(clicked);
      QGuiApplication::clipboard()->clear();
      way.copy();
      const QStringList copied = QGuiApplication::clipboard()->text().split(u'\n');
      if (row.copied >= 0 && !way.whole) {
        EXPECT_EQ(copied.join(u'\n').toStdString(), lines[row.copied]);
        continue;
      }
      ASSERT_EQ(copied.size(), kHeadingLines + qsizetype(lines.size()));
      EXPECT_TRUE(copied[0].startsWith(QStringLiteral("Datums: "))) << copied[0].toStdString();
      EXPECT_EQ(copied.mid(kHeadingLines).join(u'\n').toStdString(), joined(lines, ""));
    }
  }
}

// On a database: the heading names it by its registry name and path, the period as the pickers show
// it and the database's costing method.
using LogHeadingTest = ShellTest;

TEST_F(LogHeadingTest, TheWholeLogStartsWithTheDayDatabasePeriodAndMethod) {
  TestDatabase db;
  db.setFifo(0);
  listDatabases({{"Veikals", db.path()}});
  TAutoIepCenSad window;
  window.FormCreate();
  ASSERT_TRUE(window.databaseOpen());
  window.typePeriod(QDate(2026, 3, 1), QDate(2026, 3, 31));
  window.AddProcessLine("Process pabeigts", false);
  const QString format = window.DatumsNo->displayFormat();
  const QStringList heading{
      QStringLiteral("Datums: ") + QDate::currentDate().toString(format),
      QStringLiteral("Datu bāze: Veikals (") + QString::fromStdString(db.path()) + u')',
      QStringLiteral("Periods: ") + QDate(2026, 3, 1).toString(format) + QStringLiteral(" – ") +
          QDate(2026, 3, 31).toString(format),
      QStringLiteral("Metode: vidējā svērtā cena")};
  window.copyWholeLog();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), (heading + window.lstProcess->lines()).join(u'\n'));
}

// A process limit on file size makes the write fail halfway, after the file beside the target was
// begun.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved_;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }

 private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
};

TEST_F(LogMenuTest, SaveWritesTheWholeLogAsUtf8AndAFailedSaveSaysWhyAndLeavesTheFileAsItWas) {
  const std::string expected = joined(shownLines(), "\n");
  const std::string before = "the file that stood here\n";
  const struct {
    const char* place;
    const char* target;      // in the test's folder
    const char* standing;    // a file already there, or nullptr
    const char* cause;       // of a failure, or nullptr
    rlim_t sizeLimit;        // 0: none
  } rows[] = {
      {"a new file", "new.txt", nullptr, nullptr, 0},
      {"over a file, once the person agrees", "old.txt", "old.txt", nullptr, 0},
      {"under a regular file", "plain.txt/log.txt", "plain.txt", "ceļā ir fails, kas nav mape", 0},
      {"a write that fails halfway", "kept.txt", "kept.txt", "fails ir par lielu", 64},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.place);
    boxes.clear();
    const std::string folder = dir.file("save" + std::to_string(&row - rows));
    std::filesystem::create_directory(folder);
    const std::string target = folder + "/" + row.target;
    if (row.standing) std::ofstream(folder + "/" + row.standing, std::ios::binary) << before;
    answerSaveDialog(QString::fromStdString(target));
    {
      std::optional<FileSizeLimit> limit;
      if (row.sizeLimit) limit.emplace(row.sizeLimit);
      takeFromMenu(window.progressMenu->saveLog);
    }
    if (row.cause) {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].kind, shell::BoxKind::Error);
      EXPECT_EQ(boxes[0].text, std::string(shell::kCannotSaveFile) + target + ": " + row.cause);
      EXPECT_EQ(readBytes(folder + "/" + row.standing), before);
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1) << "a file was left beside it";
    } else {
      EXPECT_TRUE(boxes.empty()) << boxes.front().text;
      const std::string saved = readBytes(target);
      EXPECT_EQ(saved.rfind("Datums: ", 0), 0u) << saved;
      EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), kHeadingLines + std::size(kTexts));
      EXPECT_TRUE(saved.ends_with(expected)) << saved;
    }
  }
}

// The next save dialog opens in the folder of the last save that succeeded, not on its file.
TEST_F(LogMenuTest, TheNextSaveDialogOpensInTheFolderOfTheLastSave) {
  const std::string folder = dir.file("kept-folder");
  std::filesystem::create_directory(folder);
  answerSaveDialog(QString::fromStdString(folder + "/first.txt"));
  takeFromMenu(window.progressMenu->saveLog);
  ASSERT_TRUE(std::filesystem::exists(folder + "/first.txt"));
  QString opened;
  QTimer::singleShot(0, [&] {
    if (!QTest::qWaitFor([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr; }))
      return;
    if (auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
      opened = files->directory().absolutePath();
      files->reject();
    }
  });
  takeFromMenu(window.progressMenu->saveLog);
  EXPECT_EQ(opened.toStdString(), QDir(QString::fromStdString(folder)).absolutePath().toStdString());
  EXPECT_TRUE(boxes.empty()) << boxes.front().text;
}

// Files whose names say nothing of their type, as /proc/kmsg, whose read blocks: the dialog lists
// them, the save goes through, and neither was ever opened (inotify sees every open; a reader
// blocked in opening the FIFO would let a writer in).
TEST_F(LogMenuTest, TheSaveDialogListsAFolderWithoutOpeningItsFiles) {
  const std::string folder = dir.file("like-proc");
  std::filesystem::create_directory(folder);
  const std::string fifo = folder + "/pipe", plain = folder + "/kmsg";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::ofstream(plain, std::ios::binary) << "<6>[    0.000000] Linux version\n";
  answerSaveDialog(QString::fromStdString(folder + "/first.txt"));  // the folder the dialog opens next
  takeFromMenu(window.progressMenu->saveLog);
  const int opens = inotify_init1(IN_NONBLOCK);
  ASSERT_GE(inotify_add_watch(opens, folder.c_str(), IN_OPEN), 0);
  bool listed = false;
  QTimer::singleShot(0, [&] {
    static_cast<void>(
        QTest::qWaitFor([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr; }));
    auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    auto* model = files ? files->findChild<QFileSystemModel*>() : nullptr;
    // Shown, so that its row can be seen; hidden, the model reads its details all the same.
    if (files) files->setFilter(files->filter() | QDir::System);
    listed = model && QTest::qWaitFor([&] {
               for (const std::string& file : {fifo, plain}) {
                 const QModelIndex row = model->index(QString::fromStdString(file));
                 if (!row.isValid() || model->type(row).isEmpty()) return false;
               }
               return true;
             });
    answerSaveDialog(QString::fromStdString(folder + "/second.txt"));
  });
  takeFromMenu(window.progressMenu->saveLog);
  EXPECT_TRUE(listed);
  EXPECT_TRUE(boxes.empty()) << boxes.front().text;
  EXPECT_TRUE(std::filesystem::exists(folder + "/second.txt"));
  std::vector<std::string> opened;
  alignas(inotify_event) char events[4096];
  for (ssize_t size; (size = ::read(opens, events, sizeof events)) > 0;)
    for (const char* at = events; at < events + size;) {
      const auto* event = reinterpret_cast<const inotify_event*>(at);
      if (event->len) opened.emplace_back(event->name);
      at += sizeof(inotify_event) + event->len;
    }
  ::close(opens);
  EXPECT_EQ(std::count(opened.begin(), opened.end(), "kmsg"), 0) << "the dialog read a file to list it";
  const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  EXPECT_EQ(writer, -1) << "something opened the FIFO to read it";
  if (writer >= 0) ::close(writer);
}

// Under a Latvian locale Qt's own dialogs speak Latvian (Debian's qtbase translations).
TEST_F(LogMenuTest, QtsOwnDialogsLoadTheLatvianTranslations) {
  ASSERT_TRUE(shell::loadQtTranslations(QLocale(QLocale::Latvian, QLocale::Latvia)));
  QFileDialog files(&window);
  shell::setUpFileDialog(files);
  files.setAcceptMode(QFileDialog::AcceptSave);
  const QString cancel = files.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))
                             ->button(QDialogButtonBox::Cancel)->text();
  const QString lookIn = files.findChild<QLabel*>(QStringLiteral("lookInLabel"))->text();
  for (QTranslator* loaded : QCoreApplication::instance()->findChildren<QTranslator*>())
    delete loaded;  // out of the application, for the tests after this one
  EXPECT_NE(cancel, QStringLiteral("Cancel"));
  EXPECT_NE(lookIn, QStringLiteral("Look in:"));
}

// Without a database there are no lines to count; without lines, nothing to copy or save.
TEST_F(LogMenuTest, TheMenuOffersWhatItCan) {
  for (const char* offered :
       {"Kopēt|Kopēt visu|Saglabāt žurnālu...|Rindas bez pašizmaksas... (off)",
        "Kopēt (off)|Kopēt visu (off)|Saglabāt žurnālu... (off)|Rindas bez pašizmaksas... (off)"}) {
    openProgressMenu(window);
    QStringList texts;
    for (const QAction* action : window.progressMenu->actions())
      if (!action->isSeparator()) texts << action->text() + (action->isEnabled() ? "" : " (off)");
    EXPECT_EQ(texts.join(u'|').toStdString(), offered);
    window.progressMenu->close();
    window.lstProcess->clear();
  }
}

}  // namespace
}  // namespace talvix::test
