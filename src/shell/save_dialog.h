#pragma once
// Asks the person where to keep a file (Qt's own save dialog, which asks before replacing a file
// and never reads a file to list it) and writes it there whole (whole_file.h); a failed write goes
// to the standard error box. The folder of the last save that succeeded is offered next time.
#include <QByteArray>
#include <QString>

#include <functional>

class QFileDialog;
class QWidget;

namespace talvix::shell {

// Every file dialog of the window: Qt's own, its icons and types taken from the names alone.
void setUpFileDialog(QFileDialog& dialog);

// True when the file was written; false when the person cancelled or the write failed.
bool saveThroughDialog(QWidget* parent, const QString& title, const QString& suggestedName, const QString& filter,
                       const QByteArray& bytes);
// The same, the bytes made for the path the person chose (a workbook or a CSV file, by its name).
bool saveThroughDialog(QWidget* parent, const QString& title, const QString& suggestedName, const QString& filter,
                       const std::function<QByteArray(const QString& path)>& bytesFor);

}  // namespace talvix::shell
