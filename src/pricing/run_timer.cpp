#include "pricing/run_timer.h"

#include <cstdio>

namespace talvix::pricing {
namespace {
constexpr const char* kElapsedPrefix = "Ilgums: ";
}

std::string RunTimer::FillLineStundas() const {
  return elapsedLine(std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start_));
}

std::string elapsedLine(std::chrono::seconds elapsed) {
  const long long total = elapsed.count() < 0 ? 0 : elapsed.count();
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%02lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
  return kElapsedPrefix + std::string(buffer);
}

}  // namespace talvix::pricing
