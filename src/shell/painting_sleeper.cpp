#include "shell/painting_sleeper.h"

#include <QCoreApplication>

namespace talvix::shell {

void PaintingSleeper::sleepMilliseconds(int milliseconds) {
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  ThreadSleeper::sleepMilliseconds(milliseconds);
}

}  // namespace talvix::shell
