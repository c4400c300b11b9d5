// The progress list's context menu on a window no run holds: "Kopēt" and Ctrl+C give the chosen
// line or every line, "Saglabāt žurnālu..." writes every line as UTF-8 text, and a save that fails
// shows the error box and leaves what stood at the place as it was.
#include "shell/whole_file.h"
#include "shell_fixture.h"

#include <QClipboard>
#include <QTest>

#include <csignal>
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
    const QRect line = row < 0 ? QRect(QPoint(4, window.lstProcess->viewport()->height() - 4), QSize(1, 1))
                               : window.lstProcess->visualItemRect(window.lstProcess->item(row));
    QTest::mouseClick(window.lstProcess->viewport(), Qt::LeftButton, {}, line.center());
  }

  TAutoIepCenSad window;
};

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
  };
  const std::vector<std::pair<const char*, std::function<void()>>> ways = {
      {"Kopēt", [&] { takeFromMenu(window.progressMenu->copyLog); }},
      {"Menu key, Kopēt", [&] { takeFromMenu(window.progressMenu->copyLog, QContextMenuEvent::Keyboard); }},
      {"Ctrl+C", [&] { QTest::keyClick(window.lstProcess, Qt::Key_C, Qt::ControlModifier); }},
  };
  for (const auto& row : rows) {
    for (const auto& [way, copy] : ways) {
      SCOPED_TRACE(std::string(row.choice) + " / " + way);
      for (const int clicked : row.clicks) clickRow(clicked);
      QGuiApplication::clipboard()->clear();
      copy();
      const std::string expected = row.copied < 0 ? joined(lines, "") : lines[row.copied];
      EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), expected);
    }
  }
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

TEST_F(LogMenuTest, SaveWritesEveryLineAsUtf8AndAFailedSaveLeavesTheFileAsItWas) {
  const std::string expected = joined(shownLines(), "\n");
  const std::string before = "the file that stood here\n";
  const struct {
    const char* place;
    const char* target;      // in the test's folder
    const char* standing;    // a file already there, or nullptr
    bool fails;
    rlim_t sizeLimit;        // 0: none
  } rows[] = {
      {"a new file", "new.txt", nullptr, false, 0},
      {"over a file, once the person agrees", "old.txt", "old.txt", false, 0},
      {"under a regular file", "plain.txt/log.txt", "plain.txt", true, 0},
      {"a write that fails halfway", "kept.txt", "kept.txt", true, 64},
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
    if (row.fails) {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(boxes[0].kind, shell::BoxKind::Error);
      EXPECT_EQ(boxes[0].text.rfind(std::string(shell::kCannotSaveFile) + target + ": ", 0), 0u) << boxes[0].text;
      EXPECT_EQ(readBytes(folder + "/" + row.standing), before);
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1) << "a file was left beside it";
    } else {
      EXPECT_TRUE(boxes.empty()) << boxes.front().text;
      EXPECT_EQ(readBytes(target), expected);
    }
  }
}

// Without a database there are no lines to count; without lines, nothing to copy or save.
TEST_F(LogMenuTest, TheMenuOffersWhatItCan) {
  for (const char* offered : {"Kopēt|Saglabāt žurnālu...|Rindas bez pašizmaksas... (off)",
                              "Kopēt (off)|Saglabāt žurnālu... (off)|Rindas bez pašizmaksas... (off)"}) {
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
