#include "tools/log_echo.h"

namespace talvix::tools {
namespace {

// Carriage return, then erase to the end of the line.
constexpr std::string_view kRewriteLine = "\r\x1b[K";

}  // namespace

void LogEcho::line(const std::string& line, bool replaced, Clock::time_point now) {
  switch (mode_) {
    case EchoMode::Verbose:
      write_(line + '\n');
      return;
    case EchoMode::Terminal:
      // The line stays open so the next replacing write can take its place.
      if (replaced && lineOpen_) {
        write_(std::string(kRewriteLine) + line);
      } else {
        write_((lineOpen_ ? "\n" : "") + line);
      }
      lineOpen_ = true;
      return;
    case EchoMode::Stream:
      if (replaced && now - lastPrinted_ < kProgressInterval) {
        pending_ = line;
        return;
      }
      if (!replaced && !pending_.empty()) print(pending_, now);
      pending_.clear();
      print(line, now);
      return;
  }
}

void LogEcho::finish() {
  if (lineOpen_) write_("\n");
  lineOpen_ = false;
  if (!pending_.empty()) write_(pending_ + '\n');
  pending_.clear();
}

void LogEcho::print(const std::string& line, Clock::time_point now) {
  write_(line + '\n');
  lastPrinted_ = now;
}

}  // namespace talvix::tools
