// The program: the window of libautoiepcensad over the message loop. A start whose database did not
// open ends here, its message shown; every handler of the window shows its own errors.
#include "shell/autoiepcensad_entry.h"

#include <QApplication>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const bool opened = AutoIepCenSadCreate() != 0;
  // After the database opened: the database engine sets handlers of its own when it starts.
  AutoIepCenSadInstallStopSignals();
  if (opened) {
    AutoIepCenSadShow();
    application.exec();
  }
  AutoIepCenSadFree();
  return 0;
}
