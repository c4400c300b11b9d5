#pragma once
// Asks the person where to keep a file (the desktop's save dialog, which asks before replacing a
// file) and writes it there whole (whole_file.h); a failed write goes to the standard error box.
// The folder chosen last is offered next time.
#include <QByteArray>
#include <QString>

class QWidget;

namespace talvix::shell {

// True when the file was written; false when the person cancelled or the write failed.
bool saveThroughDialog(QWidget* parent, const QString& title, const QString& suggestedName, const QString& filter,
                       const QByteArray& bytes);

}  // namespace talvix::shell
