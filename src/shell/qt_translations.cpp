#include "shell/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace talvix::shell {
namespace {

constexpr char kQtBase[] = "qtbase";
constexpr char kPrefix[] = "_";
constexpr char kObjectName[] = "qtbaseTranslation";

}  // namespace

bool loadQtTranslations(const QLocale& locale) {
  QCoreApplication* application = QCoreApplication::instance();
  if (!application) return false;
  // Owned by the application object, so a new one (the library's host may make several) loads anew.
  if (application->findChild<QTranslator*>(QString::fromLatin1(kObjectName), Qt::FindDirectChildrenOnly))
    return true;
  auto* translator = new QTranslator(application);
  translator->setObjectName(QString::fromLatin1(kObjectName));
  if (!translator->load(locale, QString::fromLatin1(kQtBase), QString::fromLatin1(kPrefix),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  QCoreApplication::installTranslator(translator);
  return true;
}

}  // namespace talvix::shell
