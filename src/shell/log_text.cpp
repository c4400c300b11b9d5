#include "shell/log_text.h"

namespace talvix::shell {

QString clipboardText(const QStringList& lines) { return lines.join(u'\n'); }

QByteArray logFileText(const QStringList& lines) {
  QByteArray text;
  for (const QString& line : lines) text += line.toUtf8() + '\n';
  return text;
}

}  // namespace talvix::shell
