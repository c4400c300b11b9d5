#include "tools/service_status.h"

#include <ctime>

namespace talvix::tools {
namespace {

std::string timeOfDay(ServiceStatus::Clock::time_point at) {
  const std::time_t seconds = ServiceStatus::Clock::to_time_t(at);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return text;
}

std::string secondsText(long long milliseconds) {
  const long long tenths = (milliseconds + 50) / 100;
  return std::to_string(tenths / 10) + (tenths % 10 ? "." + std::to_string(tenths % 10) : "") + " s";
}

}  // namespace

void ServiceStatus::ready(const std::string& database) {
  shown_ = "Database " + database + " open; the run starts";
  manager_.notify("READY=1\nSTATUS=" + shown_);
}

void ServiceStatus::status(const std::string& text) {
  if (text == shown_) return;
  shown_ = text;
  manager_.notify("STATUS=" + text);
}

void ServiceStatus::stopping(const std::string& why) {
  shown_ = why;
  manager_.notify("STOPPING=1\nSTATUS=" + why);
}

std::string ServiceStatus::lastPass() const {
  if (!lastEnd_) return "no pass ended yet";
  return "last pass ended " + timeOfDay(*lastEnd_) + ", " + std::to_string(lastPriced_) +
         (lastPriced_ == 1 ? " line priced" : " lines priced");
}

void ServiceStatus::activity(Activity activity, long long value, const std::string& text, Clock::time_point now) {
  switch (activity) {
    case Activity::PassStarted:
      troubled_ = false;
      error_.clear();
      ++passes_;
      status("Pricing: pass " + std::to_string(passes_) + " started " + timeOfDay(now) + "; " + lastPass());
      return;
    case Activity::PassEnded:
      lastEnd_ = now;
      lastPriced_ = value;
      status("Pass " + std::to_string(passes_) + " ended " + timeOfDay(now) + ", " + std::to_string(value) +
             (value == 1 ? " line priced" : " lines priced"));
      return;
    case Activity::Resting:
      status("Resting until the database changes, at most " + secondsText(value) + "; " + lastPass());
      return;
    case Activity::WaitingForTurn:
      status("Waiting for another run's turn to end, " + std::to_string(value) + " s so far; " + lastPass());
      return;
    case Activity::PassFailed:
      troubled_ = true;
      errorLineNext_ = true;
      error_ = text;
      status("Pass " + std::to_string(passes_) + " failed: " + text);
      return;
    case Activity::Reconnecting:
      status("Reconnecting in " + std::to_string(value) + " s; the pass failed: " + error_);
      return;
    case Activity::Reconnected:
      status("Reconnected; the next pass starts");
      return;
    case Activity::ReconnectFailed:
      errorLineNext_ = true;
      status("Reconnect failed: " + text + "; trying again");
      return;
  }
}

int ServiceStatus::linePriority() {
  if (errorLineNext_) {
    errorLineNext_ = false;
    return kPriorityError;
  }
  return troubled_ ? kPriorityWarning : kPriorityInfo;
}

}  // namespace talvix::tools
