#pragma once
// Shapes the progress log for where standard output goes. Every new line is printed. A line that
// replaces the last one (a row counter, the countdown) is, on a terminal, rewritten in place; into
// a pipe or file, printed only as its last value before the next new line, or when the last printed
// line is 5 s old, so a long step shows it is alive without flooding a journal. Verbose prints
// every write as a line of its own.
#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace talvix::tools {

enum class EchoMode { Verbose, Terminal, Stream };

class LogEcho {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kProgressInterval = std::chrono::seconds(5);

  // write receives the text to put out as it is (line ends and terminal controls included).
  LogEcho(EchoMode mode, std::function<void(std::string_view)> write) : mode_(mode), write_(std::move(write)) {}

  void line(const std::string& line, bool replaced, Clock::time_point now);
  // Ends what is pending: before anything else is written to the terminal, and at the end.
  void finish();

 private:
  void print(const std::string& line, Clock::time_point now);

  EchoMode mode_;
  std::function<void(std::string_view)> write_;
  std::string pending_;            // Stream: the replaced line not printed yet
  bool lineOpen_ = false;          // Terminal: the last line has no line end yet
  Clock::time_point lastPrinted_;  // Stream
};

}  // namespace talvix::tools
