#pragma once
// The progress log as text to hand on: the lines exactly as the list shows them, each with its time.
#include <QString>
#include <QStringList>

namespace talvix::shell {

// For the clipboard: the lines joined by line feeds.
QString clipboardText(const QStringList& lines);
// For a file: UTF-8, every line ended by a line feed.
QByteArray logFileText(const QStringList& lines);

}  // namespace talvix::shell
