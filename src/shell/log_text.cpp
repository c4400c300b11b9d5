#include "shell/log_text.h"

namespace talvix::shell {
namespace {

constexpr char kDay[] = "Datums: ";
constexpr char kDatabase[] = "Datu bāze: ";
constexpr char kPeriod[] = "Periods: ";
constexpr char kPeriodDash[] = " – ";
constexpr char kMethod[] = "Metode: ";
constexpr char kMethodInline[] = ", metode: ";
constexpr char kUnknownMethod[] = "nav zināma";

QString methodText(const QString& method) { return method.isEmpty() ? QString::fromUtf8(kUnknownMethod) : method; }

}  // namespace

QStringList headingLines(const LogHeading& h) {
  QString database = QString::fromUtf8(kDatabase) + h.database;
  if (!h.connection.isEmpty()) database += QStringLiteral(" (") + h.connection + u')';
  return {QString::fromUtf8(kDay) + h.day, database,
          QString::fromUtf8(kPeriod) + h.periodFrom + QString::fromUtf8(kPeriodDash) + h.periodTo,
          QString::fromUtf8(kMethod) + methodText(h.method)};
}

QString runStartText(const QString& database, const QString& method) {
  return QString::fromUtf8(kDatabase) + database + QString::fromUtf8(kMethodInline) + methodText(method);
}

QString clipboardText(const QStringList& lines) { return lines.join(u'\n'); }

QByteArray logFileText(const QStringList& lines) {
  QByteArray text;
  for (const QString& line : lines) text += line.toUtf8() + '\n';
  return text;
}

}  // namespace talvix::shell
