#pragma once
// A file the person keeps (the log, the list of lines without cost) is saved where the person
// pointed, as report/output_file.h writes it: a failed save leaves what stood there as it was.
#include <QByteArray>
#include <QString>

namespace talvix::shell {

// "Nevaru saglabāt failu ", the start of the message of a failed save.
inline constexpr char kCannotSaveFile[] = "Nevaru saglabāt failu ";

// Throws std::runtime_error: kCannotSaveFile, the path, ": " and the cause in Latvian.
void saveWholeFile(const QString& path, const QByteArray& bytes);

}  // namespace talvix::shell
