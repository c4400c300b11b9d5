// autoiepcensad-run as a server or a scheduled job runs it: no display, a registry file, a real
// database; what it prints, what it exits with, what it leaves behind.
#include "registry/registry_store.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <dlfcn.h>

#include <fstream>

namespace talvix::test {
namespace {

constexpr char kSettingsKey[] = "Software\\ORMANTA\\Talvix\\AutoIepCenSad";

struct Result {
  int exitCode = -1;
  QStringList out;  // stdout lines
  QString err;
};

class HostTest : public ::testing::Test {
 protected:
  HostTest() : registryPath(db.dir().file("registry.reg")) {}

  void listDatabase(const std::string& connection) {
    std::ofstream(registryPath) << "Windows Registry Editor Version 5.00\n\n"
                                   "[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\Bazes]\n"
                                   "\"Demo\"=\"" << connection << "\"\n";
  }

  Result run(const QStringList& arguments = {}) {
    db.connection().close();  // the tool opens the file itself
    QProcess host;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.insert(QStringLiteral("TALVIX_REGISTRY"), QString::fromStdString(registryPath));
    host.setProcessEnvironment(environment);
    host.start(QStringLiteral(AUTOIEPCENSAD_RUN), arguments);
    EXPECT_TRUE(host.waitForFinished(120000)) << "still running";
    Result result;
    result.exitCode = host.exitStatus() == QProcess::NormalExit ? host.exitCode() : -1;
    result.out = QString::fromUtf8(host.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    result.err = QString::fromUtf8(host.readAllStandardError());
    return result;
  }

  std::unique_ptr<RegistryKey> settingsKey() {
    RegFileStore registry(registryPath);
    return registry.openForRead(kSettingsKey);
  }

  TestDatabase db;
  std::string registryPath;
};

// The text of a printed line, after its time stamp.
QString textOf(const QString& line) { return line.mid(line.indexOf(u' ') + 1); }

TEST_F(HostTest, ADatabaseThatDoesNotOpenIsReportedOnStandardErrorWithExitOne) {
  const std::string missing = db.dir().file("missing.fdb");
  listDatabase(missing);
  const Result result = run();
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(result.err.contains(QStringLiteral("Nevaru atvērt datu bāzi !!!"))) << result.err.toStdString();
  EXPECT_TRUE(result.err.contains(QString::fromStdString(missing))) << "the error's own text follows";
  EXPECT_TRUE(result.out.isEmpty());
  EXPECT_EQ(settingsKey(), nullptr);
}

TEST_F(HostTest, AWeightedAverageRunIsEchoedLineByLineAndExitsZero) {
  db.setFifo(0);
  listDatabase(db.path());
  const Result result = run();
  EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
  ASSERT_FALSE(result.out.isEmpty()) << result.err.toStdString();
  EXPECT_TRUE(textOf(result.out.last()).startsWith(QStringLiteral("Vidējā svērtā piešķiršana pabeigta ")))
      << result.out.last().toStdString();
  EXPECT_NE(settingsKey(), nullptr) << "the run saved the settings";
}

TEST_F(HostTest, PassesEndsAContinuousFifoRunAfterTheDurationLineOfTheLastPass) {
  db.setFifo(1);
  listDatabase(db.path());
  const Result result = run({QStringLiteral("--passes"), QStringLiteral("2")});
  EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
  ASSERT_GE(result.out.size(), 2);
  EXPECT_EQ(result.out.filter(QStringLiteral("FIFO piešķiršana pabeigta ")).size(), 2);
  EXPECT_EQ(textOf(result.out[result.out.size() - 2]), QStringLiteral("FIFO piešķiršana pabeigta "));
  auto key = settingsKey();
  ASSERT_NE(key, nullptr);
  EXPECT_GT(key->readDateTime("LastIepCenSadLaiks"), todayLocal());
}

TEST_F(HostTest, AMessageBoxGoesToStandardErrorInsteadOfTheScreen) {
  db.setFifo(1);
  db.blockDay(todayLocal());  // inside the default period, the month of today
  listDatabase(db.path());
  const Result result = run();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(result.err.contains(
      QStringLiteral("Šajā periodā ir bloķētās dienas, sadalīt nedrīkst !!! \n (Sākumā jāatbloķē periods)\n")))
      << result.err.toStdString();
  EXPECT_TRUE(result.out.isEmpty());
}

TEST(LibraryExportsTest, OnlyTheEntryPointsAreExported) {
  void* library = dlopen(AUTOIEPCENSAD_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  for (const char* name : {"AutoIepCenSad", "_ZN14TAutoIepCenSad17DllCallMakePasizmEv", "AutoIepCenSadCreate",
                           "AutoIepCenSadMakePasizm", "AutoIepCenSadSetLineObserver", "AutoIepCenSadSetBoxHandler"})
    EXPECT_NE(dlsym(library, name), nullptr) << name;
  // The run's code and the window's insides stay inside.
  for (const char* name : {"_ZN6talvix15btPieskirsClickERNS_10RunContextE", "_ZN14TAutoIepCenSad10FormCreateEv"})
    EXPECT_EQ(dlsym(library, name), nullptr) << name;
  dlclose(library);
}

}  // namespace
}  // namespace talvix::test
