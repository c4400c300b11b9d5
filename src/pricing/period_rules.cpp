#include "pricing/period_rules.h"

namespace talvix::pricing {
namespace {

constexpr const char* kBlockedDaySql =
    "SELECT FIRST 1 ISN FROM N_BLOKDIENAS WHERE DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ";

}  // namespace

PeriodRules::PeriodRules(Connection& connection) : blockedDay_(connection) { blockedDay_.setSql(kBlockedDaySql); }

DateTime PeriodRules::firstDay(DateTime today) {
  int year, month, day;
  decodeDate(today, year, month, day);
  return makeDate(year, month, 1);
}

DateTime PeriodRules::lastDay(DateTime today) {
  int year, month, day;
  decodeDate(today, year, month, day);
  return month == 12 ? makeDate(year, 12, 31) : makeDate(year, month + 1, 1) - 1;
}

bool PeriodRules::blocked(DateTime first, DateTime last) {
  blockedDay_.setDateTime("DAT_NO", wholeDate(first));
  blockedDay_.setDateTime("DAT_LIDZ", wholeDate(last));
  blockedDay_.open();
  const bool found = !blockedDay_.eof();
  blockedDay_.close();
  return found;
}

}  // namespace talvix::pricing
