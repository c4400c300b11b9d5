// What each output mode puts out for the same log: headings, a counter that replaces its line, the
// counter's end, with the clock moved by hand.
#include "tools/log_echo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace talvix::tools {
namespace {

struct Write {
  std::string line;
  bool replaced;
  int atSecond;
};

// A step: heading, a blank line the counter then replaces three times over 12 s, the closing line.
const std::vector<Write> kStep{{"h", false, 0}, {"", false, 0}, {"1/3", true, 1},
                               {"2/3", true, 6}, {"3/3", true, 7}, {"done", false, 12}};

std::string echo(EchoMode mode, const std::vector<Write>& writes) {
  std::string out;
  LogEcho shaper(mode, [&](std::string_view text) { out += text; });
  const LogEcho::Clock::time_point start{std::chrono::hours(1)};
  for (const Write& write : writes) shaper.line(write.line, write.replaced, start + std::chrono::seconds(write.atSecond));
  shaper.finish();
  return out;
}

TEST(LogEchoTest, EachModeShapesTheSameLog) {
  struct Row {
    EchoMode mode;
    std::vector<Write> writes;
    std::string expected;
  };
  const Row rows[] = {
      {EchoMode::Verbose, kStep, "h\n\n1/3\n2/3\n3/3\ndone\n"},
      // Rewritten in place; the open line is ended by the next new one.
      {EchoMode::Terminal, kStep, "h\n\r\x1b[K1/3\r\x1b[K2/3\r\x1b[K3/3\ndone\n"},
      // 2/3 comes 6 s after the last printed line; 3/3 is then the last value before "done".
      {EchoMode::Stream, kStep, "h\n\n2/3\n3/3\ndone\n"},
      // A value already printed is not printed again.
      {EchoMode::Stream, {{"h", false, 0}, {"1/1", true, 5}, {"done", false, 6}}, "h\n1/1\ndone\n"},
      // The run ends with a counter: its last value still comes out.
      {EchoMode::Stream, {{"h", false, 0}, {"1/2", true, 1}, {"2/2", true, 2}}, "h\n2/2\n"},
      // A replacing write with nothing open on the terminal starts a line.
      {EchoMode::Terminal, {{"Gaidu 30", true, 0}}, "Gaidu 30\n"},
  };
  for (const Row& row : rows) EXPECT_EQ(echo(row.mode, row.writes), row.expected) << static_cast<int>(row.mode);
}

TEST(LogEchoTest, FinishClosesTheTerminalLineBeforeOtherOutput) {
  std::string out;
  LogEcho shaper(EchoMode::Terminal, [&](std::string_view text) { out += text; });
  shaper.line("1/2", false, {});
  shaper.finish();  // a message box goes to standard error now
  shaper.line("2/2", true, {});
  shaper.finish();
  EXPECT_EQ(out, "1/2\n2/2\n");
}

}  // namespace
}  // namespace talvix::tools
