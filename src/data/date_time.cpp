#include "data/date_time.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace talvix {
namespace {

// Days from 1970-01-01 (civil) per Howard Hinnant's algorithm; 1899-12-30 is day -25569.
constexpr long kOleEpochFromUnix = 25569;

long daysFromCivil(int y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

void civilFromDays(long z, int& y, int& m, int& d) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe) + static_cast<int>(era) * 400 + (m <= 2);
}

std::tm toTm(DateTime value) {
  std::tm tm{};
  int y, m, d;
  decodeDate(value, y, m, d);
  tm.tm_year = y - 1900;
  tm.tm_mon = m - 1;
  tm.tm_mday = d;
  long seconds = std::lround((value - std::floor(value)) * 86400.0);
  if (seconds >= 86400) seconds = 86399;
  tm.tm_hour = static_cast<int>(seconds / 3600);
  tm.tm_min = static_cast<int>(seconds / 60 % 60);
  tm.tm_sec = static_cast<int>(seconds % 60);
  return tm;
}

}  // namespace

DateTime wholeDate(DateTime value) { return std::floor(value); }

DateTime makeDate(int year, int month, int day) {
  return static_cast<DateTime>(daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                               kOleEpochFromUnix);
}

DateTime makeDateTime(int year, int month, int day, int hour, int minute, int second) {
  return makeDate(year, month, day) + (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
}

void decodeDate(DateTime value, int& year, int& month, int& day) {
  civilFromDays(static_cast<long>(std::floor(value)) - kOleEpochFromUnix, year, month, day);
}

DateTime nowLocal() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  const auto micros =
      std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch()).count() % 1000000;
  return makeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                      local.tm_sec) +
         static_cast<double>(micros) / 86400e6;
}

DateTime todayLocal() { return wholeDate(nowLocal()); }

std::string formatShortDate(DateTime value) {
  const std::tm tm = toTm(value);
  char buffer[64];
  const std::size_t n = std::strftime(buffer, sizeof buffer, "%x", &tm);
  return std::string(buffer, n);
}

std::string formatIsoDate(DateTime value) {
  const std::tm tm = toTm(value);
  char buffer[64];
  const char* format = value == std::floor(value) ? "%Y-%m-%d" : "%Y-%m-%d %H:%M:%S";
  const std::size_t n = std::strftime(buffer, sizeof buffer, format, &tm);
  return std::string(buffer, n);
}

}  // namespace talvix
