// The progress log: the time stamp, the 3000-line cap, replacing writes and the echo to a host.
#include "shell/progress_list.h"
#include "shell_fixture.h"

#include <QRegularExpression>

#include <string>
#include <tuple>
#include <vector>

namespace talvix::test {
namespace {

using shell::ProgressList;

TEST(ProgressLineTest, TimeInTheLocalesLongFormatWithoutTheZone) {
  const struct {
    const char* locale;
    const char* text;
    const char* line;
  } rows[] = {
      {"lv_LV", "Process pabeigts", "14:05:09 Process pabeigts"},
      {"de_DE", "Process pabeigts", "14:05:09 Process pabeigts"},
      {"en_US", "Process pabeigts", "2:05:09 PM Process pabeigts"},
      {"lv_LV", "", "14:05:09 "},
  };
  for (const auto& row : rows) {
    const QLocale locale(QString::fromLatin1(row.locale));
    EXPECT_EQ(shell::progressLine(QTime(14, 5, 9), QString::fromUtf8(row.text), locale).toStdString(), row.line)
        << row.locale;
  }
}

class ProgressListTest : public ::testing::Test {
 protected:
  ProgressListTest() : list(nullptr) {
    list.resize(340, 277);
    list.show();
  }
  ~ProgressListTest() override { shell::setLineObserver({}); }

  std::string lastText() const { return textOf(list.count() - 1); }
  // A line without its time stamp.
  std::string textOf(int row) const {
    const QString line = list.item(row)->text();
    return line.mid(line.indexOf(u' ') + 1).toStdString();
  }

  ProgressList list;
};

TEST_F(ProgressListTest, ALineIsTheTimeOneBlankAndTheText) {
  const QString format = shell::longTimeFormat(QLocale::system());
  const QString before = QLocale::system().toString(QTime::currentTime(), format);
  list.addLine("Sāku FIFO ...", false);
  const QString after = QLocale::system().toString(QTime::currentTime(), format);
  const QString line = list.item(0)->text();
  EXPECT_TRUE(line == before + QStringLiteral(" Sāku FIFO ...") || line == after + QStringLiteral(" Sāku FIFO ..."))
      << line.toStdString();
  EXPECT_FALSE(after.contains(QRegularExpression(QStringLiteral("[A-Z]{3,}|[+-]\\d\\d:?\\d\\d"))))
      << "no time zone: " << after.toStdString();
}

TEST_F(ProgressListTest, ReplacingOverwritesTheLastLineAndAppendsToAnEmptyList) {
  list.addLine("1/10", true);
  ASSERT_EQ(list.count(), 1);
  list.addLine("Izrakstīšana", false);
  list.addLine("2/10", true);
  list.addLine("3/10", true);
  ASSERT_EQ(list.count(), 2);
  EXPECT_EQ(textOf(0), "1/10");
  EXPECT_EQ(textOf(1), "3/10");
}

TEST_F(ProgressListTest, AWriteThatFindsMoreThan3000LinesEmptiesTheListFirst) {
  for (int line = 0; line < ProgressList::kMaxLines; ++line) list.addLine(std::to_string(line), false);
  ASSERT_EQ(list.count(), 3000);
  list.addLine("3000", false);
  EXPECT_EQ(list.count(), 3001);
  list.addLine("after", false);
  ASSERT_EQ(list.count(), 1);
  EXPECT_EQ(lastText(), "after");

  for (int line = 1; line <= ProgressList::kMaxLines; ++line) list.addLine(std::to_string(line), false);
  ASSERT_EQ(list.count(), 3001);
  list.addLine("17/20", true);  // a row counter at the cap: nothing left to replace
  ASSERT_EQ(list.count(), 1);
  EXPECT_EQ(lastText(), "17/20");
}

TEST_F(ProgressListTest, TheLastLineIsSelectedAndInViewWhenTheWriteReturns) {
  for (int line = 0; line < 200; ++line) {
    list.addLine("rinda " + std::to_string(line), line % 3 == 2);
    ASSERT_EQ(list.currentRow(), list.count() - 1);
    ASSERT_TRUE(list.item(list.count() - 1)->isSelected());
  }
  const QRect last = list.visualItemRect(list.item(list.count() - 1));
  EXPECT_TRUE(list.viewport()->rect().contains(last)) << "the list scrolled before any event was processed";
}

TEST_F(ProgressListTest, AHostHearsEachWriteAsTheListShowsIt) {
  std::vector<std::tuple<std::string, std::string, bool>> heard;
  shell::setLineObserver([&](const std::string& line, const std::string& text, bool replaced) {
    heard.emplace_back(line, text, replaced);
  });
  list.addLine("Gaidu 30 sekundes ...", true);  // nothing to replace yet: appended
  list.addLine("Gaidu 29 sekundes ...", true);
  ASSERT_EQ(heard.size(), 2u);
  EXPECT_FALSE(std::get<2>(heard[0]));
  EXPECT_EQ(std::get<0>(heard[1]), list.item(0)->text().toStdString());
  EXPECT_EQ(std::get<1>(heard[1]), "Gaidu 29 sekundes ...");
  EXPECT_TRUE(std::get<2>(heard[1]));
}

}  // namespace
}  // namespace talvix::test
