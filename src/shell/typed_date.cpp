#include "shell/typed_date.h"

#include "shell/period_days.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <array>

namespace talvix::shell {
namespace {

constexpr int kLongestText = 10;  // 01.08.2026
constexpr int kCentury = 2000;

enum Part { kDay, kMonth, kYear };

// The display format's order of day, month and year.
std::array<Part, 3> partOrder(const QString& format) {
  std::array<std::pair<qsizetype, Part>, 3> at{
      {{format.indexOf(u'd'), kDay}, {format.indexOf(u'M'), kMonth}, {format.indexOf(u'y'), kYear}}};
  std::sort(at.begin(), at.end());
  return {at[0].second, at[1].second, at[2].second};
}

bool digitsOnly(const QString& text) {
  for (const QChar c : text)
    if (!c.isDigit()) return false;
  return !text.isEmpty();
}

TypedDay fromParts(const std::array<QString, 3>& parts, const std::array<Part, 3>& order) {
  int values[3] = {0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    const QString& part = parts[i];
    const bool year = order[i] == kYear;
    if (year ? (part.size() != 2 && part.size() != 4) : part.size() > 2)
      return {year && part.size() < 4 ? Typed::Partial : Typed::Invalid, {}};
    values[order[i]] = part.toInt() + (year && part.size() == 2 ? kCentury : 0);
  }
  const QDate day(values[kYear], values[kMonth], values[kDay]);
  if (!day.isValid()) return {values[kDay] == 0 || values[kMonth] == 0 ? Typed::Invalid : Typed::Outside, {}};
  return {periodDayHeld(day) ? Typed::Day : Typed::Outside, day};
}

// ddMMyyyy or ddMMyy, in the format's order.
TypedDay fromDigits(const QString& text, const std::array<Part, 3>& order) {
  if (text.size() != 6 && text.size() != 8) return {text.size() < 8 ? Typed::Partial : Typed::Invalid, {}};
  const int yearWidth = text.size() == 8 ? 4 : 2;
  std::array<QString, 3> parts;
  qsizetype at = 0;
  for (int i = 0; i < 3; ++i) {
    const int width = order[i] == kYear ? yearWidth : 2;
    parts[i] = text.mid(at, width);
    at += width;
  }
  const TypedDay read = fromParts(parts, order);
  // Six digits may still grow to eight.
  return read.state == Typed::Day || text.size() == 8 ? read : TypedDay{Typed::Partial, {}};
}

}  // namespace

QString completedFrom(const QString& typed, QDate shown, const QString& format) {
  const QString text = typed.trimmed();
  if (!shown.isValid() || partOrder(format)[0] != kDay || text.isEmpty()) return typed;
  const QString month = QString::number(shown.month()), year = QString::number(shown.year());
  if (digitsOnly(text) && text.size() <= 2) return text + u'.' + month + u'.' + year;
  if (digitsOnly(text) && text.size() == 4) return text.left(2) + u'.' + text.mid(2) + u'.' + year;
  if (digitsOnly(text)) return typed;
  static const QRegularExpression separators(QStringLiteral("[./\\- ]+"));
  QStringList parts = text.split(separators);
  if (!parts.isEmpty() && parts.back().isEmpty()) parts.removeLast();
  if (parts.size() == 1) return parts[0] + u'.' + month + u'.' + year;
  if (parts.size() == 2) return parts[0] + u'.' + parts[1] + u'.' + year;
  return typed;
}

TypedDay readTypedDay(const QString& typed, const QString& format) {
  const QString text = typed.trimmed();
  if (text.isEmpty()) return {Typed::Partial, {}};
  if (text.size() > kLongestText) return {Typed::Invalid, {}};
  static const QRegularExpression separators(QStringLiteral("[./\\- ]+"));
  static const QRegularExpression allowed(QStringLiteral("^[0-9./\\- ]*$"));
  if (!allowed.match(text).hasMatch()) return {Typed::Invalid, {}};
  const std::array<Part, 3> order = partOrder(format);
  if (digitsOnly(text)) return fromDigits(text, order);
  const QStringList parts = text.split(separators);
  if (parts.size() > 3) return {Typed::Invalid, {}};
  for (const QString& part : parts)
    if (!part.isEmpty() && !digitsOnly(part)) return {Typed::Invalid, {}};
  if (parts.size() < 3 || parts.back().isEmpty() || parts[0].isEmpty() || parts[1].isEmpty()) {
    for (const QString& part : parts)
      if (part.size() > 4) return {Typed::Invalid, {}};
    return {Typed::Partial, {}};
  }
  return fromParts({parts[0], parts[1], parts[2]}, order);
}

}  // namespace talvix::shell
