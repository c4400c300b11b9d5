#pragma once
// The progress log as text to hand on: the lines exactly as the list shows them, each with its time.
// The whole log starts with what the times alone do not say: the day, the database, the period and
// the costing method.
#include <QString>
#include <QStringList>

namespace talvix::shell {

struct LogHeading {
  QString day;       // today, as the pickers show a day
  QString database;  // its registry name
  QString connection;
  QString periodFrom;
  QString periodTo;
  QString method;  // "FIFO", "vidējā svērtā cena", or empty when unknown
};

// "Datums: ...", "Datu bāze: ...", "Periods: ...", "Metode: ...", each a line of its own.
QStringList headingLines(const LogHeading& heading);
// "Datu bāze: Demo, metode: FIFO", the first line of a run.
QString runStartText(const QString& database, const QString& method);
// For the clipboard: the lines joined by line feeds.
QString clipboardText(const QStringList& lines);
// For a file: UTF-8, every line ended by a line feed.
QByteArray logFileText(const QStringList& lines);

}  // namespace talvix::shell
