// autoiepcensad-run as a server or a scheduled job runs it: no display, a registry file, a real
// database; what it prints, what it exits with, what it leaves behind.
#include "registry/registry_store.h"
#include "support/host_run.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <dlfcn.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

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

  // Issues in mode 1 for the month of today, under the weighted average: one pass with a counter.
  void issuesToPrice(int lines) {
    db.setFifo(0);
    const DateTime today = todayLocal();
    const int goods = db.goods();
    for (int line = 0; line < lines; ++line) db.issue({.date = today, .goods = goods});
    int year = 0, month = 0, day = 0;
    decodeDate(today, year, month, day);
    listDatabase(db.path());
    auto key = RegFileStore(registryPath).openForWrite(kSettingsKey);
    key->writeDateTime("DatumsNo", makeDate(year, month, 1));
    key->writeDateTime("DatumsLidz", today);
    for (const char* name : {"PedejaCena", "ParvietosanaChk", "AtgriesanaChk"}) key->writeInteger(name, 0);
    key->writeInteger("IzrakstisanaChk", 1);
  }

  Result run(const QStringList& arguments = {}, const QString& program = QStringLiteral(AUTOIEPCENSAD_RUN),
             const std::vector<std::pair<std::string, std::string>>& environment = {}) {
    db.connection().close();  // the tool opens the file itself
    std::vector<std::string> texts;
    for (const QString& argument : arguments) texts.push_back(argument.toStdString());
    HostRun host(registryPath, texts, {.verbose = false, .program = program.toStdString(), .environment = environment});
    Result result;
    result.exitCode = host.finish(std::chrono::seconds(120));
    EXPECT_NE(result.exitCode, -1) << "still running";
    result.out = QString::fromStdString(host.output()).split(u'\n', Qt::SkipEmptyParts);
    result.err = QString::fromStdString(host.errors());
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

QStringList textsOf(const QStringList& lines) {
  QStringList texts;
  for (const QString& line : lines) texts << textOf(line);
  return texts;
}

// Everything the host writes to a terminal, and its exit status.
struct TerminalRun {
  int exitCode = -1;
  std::string raw;
};

TerminalRun runInTerminal(const std::string& registryPath) {
  // Built before the fork: the child only execs.
  std::vector<std::string> variables;
  for (char** variable = environ; *variable; ++variable) {
    const std::string entry = *variable;
    const std::string name = entry.substr(0, entry.find('='));
    if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "QT_QPA_PLATFORM" && name != "TALVIX_REGISTRY")
      variables.push_back(entry);
  }
  variables.push_back("TALVIX_REGISTRY=" + registryPath);
  std::vector<char*> environment;
  for (std::string& entry : variables) environment.push_back(entry.data());
  environment.push_back(nullptr);
  char program[] = AUTOIEPCENSAD_RUN;
  char* arguments[] = {program, nullptr};

  TerminalRun result;
  int terminal = -1;
  const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child == 0) {
    execve(program, arguments, environment.data());
    _exit(127);
  }
  if (child < 0) return result;
  char buffer[4096];
  for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;) result.raw.append(buffer, got);
  close(terminal);
  int status = 0;
  waitpid(child, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// The lines a terminal shows for that output: a carriage return and erase start the line again.
QStringList shownOnTerminal(const std::string& raw) {
  QStringList lines{QString()};
  const QString text = QString::fromUtf8(raw).remove(QStringLiteral("\x1b[K"));
  for (qsizetype at = 0; at < text.size(); ++at) {
    if (text[at] == u'\r' && at + 1 < text.size() && text[at + 1] == u'\n') continue;
    if (text[at] == u'\r')
      lines.last().clear();
    else if (text[at] == u'\n')
      lines << QString();
    else
      lines.last() += text[at];
  }
  if (lines.last().isEmpty()) lines.removeLast();
  return lines;
}

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

// With nothing to price the run rests between passes; SIGTERM then lands in a rest, where the
// embedded engine once spun for ever in the detach that follows.
TEST_F(HostTest, SigtermDuringARestEndsTheIdleRunWithExitZero) {
  db.setFifo(1);
  listDatabase(db.path());
  db.connection().close();
  HostRun host(registryPath, {"--issues", "1"}, {.verbose = false});
  host.waitFor([](const LogEntry& entry) { return entry.text.find("Ilgums:") != std::string::npos; },
               std::chrono::seconds(30));
  QString out = QString::fromStdString(host.output());
  ASSERT_EQ(out.count(QStringLiteral("FIFO piešķiršana pabeigta")), 1) << out.toStdString();
  // Into the first rest: nothing else writes, so it lasts until its limit.
  ::usleep(300000);
  host.signal(SIGTERM);
  const std::optional<int> status = host.waitExit(std::chrono::seconds(60));
  ASSERT_TRUE(status.has_value()) << "still running after SIGTERM";
  EXPECT_EQ(*status, 0);
  out = QString::fromStdString(host.output());
  EXPECT_TRUE(out.trimmed().endsWith(QStringLiteral("Process apturēts"))) << out.toStdString();
}

TEST_F(HostTest, AMessageBoxGoesToStandardErrorInsteadOfTheScreen) {
  db.setFifo(1);
  db.blockDay(todayLocal());  // inside the default period, the month of today
  listDatabase(db.path());
  const Result result = run({QStringLiteral("--issues"), QStringLiteral("1")});
  EXPECT_EQ(result.exitCode, 4) << "refused";
  EXPECT_TRUE(result.err.contains(
      QStringLiteral("Šajā periodā ir bloķētās dienas, sadalīt nedrīkst !!! \n (Sākumā jāatbloķē periods)\n")))
      << result.err.toStdString();
  EXPECT_TRUE(result.out.isEmpty());
}

struct PlatformRow {
  QStringList arguments;
  QString shown;  // how one of the output's lines starts, after its time when it has one
};

// A platform Qt cannot load ends any program that makes a GUI application object at its start.
TEST_F(HostTest, EveryKindOfRunNeedsNoQtPlatformNorScreen) {
  issuesToPrice(3);
  const PlatformRow rows[] = {
      {{QStringLiteral("--show-settings"), QStringLiteral("--returns"), QStringLiteral("1")},
       QStringLiteral("method")},
      {{QStringLiteral("--preview"), QStringLiteral("-")}, QStringLiteral("Would change: ")},
      {{}, QStringLiteral("Vidējā svērtā piešķiršana pabeigta ")},
      {{QStringLiteral("--unpriced-only"), QStringLiteral("-")}, QStringLiteral("Still without cost: ")},
  };
  for (const PlatformRow& row : rows) {
    SCOPED_TRACE(row.arguments.join(u' ').toStdString());
    const Result result =
        run(row.arguments, QStringLiteral(AUTOIEPCENSAD_RUN), {{"QT_QPA_PLATFORM", "no-such-platform"}});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    const bool shown = std::any_of(result.out.begin(), result.out.end(), [&](const QString& line) {
      return line.startsWith(row.shown) || textOf(line).startsWith(row.shown);
    });
    EXPECT_TRUE(shown) << result.out.join(u'\n').toStdString() << result.err.toStdString();
  }
  EXPECT_EQ(settingsKey()->readInteger("AtgriesanaChk"), 1) << "--show-settings saved what it was given";
}

// --- output: verbose, pipe, terminal ------------------------------------------------------------

TEST_F(HostTest, VerbosePrintsEveryWriteAsALineWithItsTime) {
  issuesToPrice(3);
  const Result result = run({QStringLiteral("--verbose")});
  EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
  const QStringList texts = textsOf(result.out);
  // The issues' counter starts from 0.
  const qsizetype first = texts.indexOf(QStringLiteral("0/3"));
  ASSERT_GE(first, 0) << texts.join(u'\n').toStdString();
  EXPECT_EQ(texts.mid(first, 4), (QStringList{"0/3", "1/3", "2/3", "Izrakstīšana sadalīta"}));
  for (const QString& line : result.out) EXPECT_TRUE(line.section(u' ', 0, 0).contains(u':')) << line.toStdString();
}

TEST_F(HostTest, IntoAPipeACounterIsPrintedAsItsLastValueOnly) {
  issuesToPrice(3);
  const Result result = run();
  EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
  const QStringList texts = textsOf(result.out);
  EXPECT_FALSE(texts.contains(QStringLiteral("0/3")));
  EXPECT_FALSE(texts.contains(QStringLiteral("1/3")));
  const qsizetype last = texts.indexOf(QStringLiteral("2/3"));
  ASSERT_GE(last, 0) << texts.join(u'\n').toStdString();
  EXPECT_EQ(texts.value(last + 1), QStringLiteral("Izrakstīšana sadalīta"));
  EXPECT_TRUE(texts.last().startsWith(QStringLiteral("Vidējā svērtā piešķiršana pabeigta ")));
}

TEST_F(HostTest, OnATerminalACounterIsRewrittenInPlace) {
  issuesToPrice(3);
  db.connection().close();
  const TerminalRun result = runInTerminal(registryPath);
  EXPECT_EQ(result.exitCode, 0) << result.raw;
  EXPECT_NE(result.raw.find("\r\x1b[K"), std::string::npos) << result.raw;
  const QStringList shown = textsOf(shownOnTerminal(result.raw));
  EXPECT_FALSE(shown.contains(QStringLiteral("0/3")));
  EXPECT_FALSE(shown.contains(QStringLiteral("1/3")));
  const qsizetype last = shown.indexOf(QStringLiteral("2/3"));
  ASSERT_GE(last, 0) << result.raw;
  EXPECT_EQ(shown.value(last - 1), QStringLiteral("Aprēķinu izrakstīšanu ...")) << "the counter took the blank line";
  EXPECT_EQ(shown.value(last + 1), QStringLiteral("Izrakstīšana sadalīta"));
}

// --- options and exit statuses ------------------------------------------------------------------

TEST_F(HostTest, DatabaseOpensTheOneListedUnderThatName) {
  std::ofstream(registryPath) << "Windows Registry Editor Version 5.00\n\n"
                                 "[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\Bazes]\n"
                                 "\"Arhivs\"=\"" << db.dir().file("missing.fdb") << "\"\n"
                                 "\"Veikals\"=\"" << db.path() << "\"\n";
  db.setFifo(0);
  EXPECT_EQ(run().exitCode, 1) << "LastDBIndex chooses Arhivs";
  EXPECT_EQ(run({QStringLiteral("--database"), QStringLiteral("veikals")}).exitCode, 0);
  const Result unknown = run({QStringLiteral("--database"), QStringLiteral("Centrs")});
  EXPECT_EQ(unknown.exitCode, 1);
  EXPECT_TRUE(unknown.err.contains(QStringLiteral("\"Centrs\""))) << unknown.err.toStdString();
  EXPECT_TRUE(unknown.err.contains(QStringLiteral("Arhivs, Veikals"))) << unknown.err.toStdString();
}

TEST_F(HostTest, PeriodIsSavedAsTheWindowSavesItAndALongAverageOneIsRefused) {
  db.setFifo(0);
  listDatabase(db.path());
  const Result result = run({QStringLiteral("--period"), QStringLiteral("2026-01-01..2026-06-30")});
  EXPECT_EQ(result.exitCode, 4) << "over 100 days under the weighted average";
  EXPECT_TRUE(result.err.contains(QStringLiteral("100 dienas"))) << result.err.toStdString();
  auto key = settingsKey();
  ASSERT_NE(key, nullptr) << "saved before the 100-day rule refused";
  EXPECT_EQ(wholeDate(key->readDateTime("DatumsNo")), makeDate(2026, 1, 1));
  EXPECT_EQ(wholeDate(key->readDateTime("DatumsLidz")), makeDate(2026, 6, 30));
}

TEST_F(HostTest, ABadCommandLineRunsAndSavesNothingAndExitsTwo) {
  db.setFifo(0);
  listDatabase(db.path());
  const QStringList rows[] = {
      {"--period", "2026-02-30..2026-03-31"}, {"--period", "last-month"}, {"--passes", "0"},
      {"--database"}, {"--bogus"}};
  for (const QStringList& arguments : rows) {
    const Result result = run(arguments);
    EXPECT_EQ(result.exitCode, 2) << arguments.join(u' ').toStdString();
    EXPECT_TRUE(result.err.contains(QStringLiteral("usage: autoiepcensad-run"))) << result.err.toStdString();
    EXPECT_TRUE(result.out.isEmpty());
  }
  EXPECT_EQ(settingsKey(), nullptr);
  const Result help = run({QStringLiteral("--help")});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* topic : {"--database", "TALVIX_REGISTRY", "ISC_PASSWORD", "Exit status"})
    EXPECT_TRUE(help.out.join(u'\n').contains(QLatin1String(topic))) << topic;
}

TEST_F(HostTest, TheDemoMakerPrintsItsUsageOnHelpAndRefusesWhatItDoesNotKnow) {
  const struct {
    QStringList arguments;
    int exitCode;
    bool usageOnStandardOutput;
  } rows[] = {{{"--help"}, 0, true}, {{"-h"}, 0, true}, {{"--bogus"}, 2, false}, {{}, 2, false}};
  for (const auto& row : rows) {
    const Result result = run(row.arguments, QStringLiteral(MAKE_DEMO_DB));
    EXPECT_EQ(result.exitCode, row.exitCode) << row.arguments.join(u' ').toStdString();
    const QString usage = row.usageOnStandardOutput ? result.out.join(u'\n') : result.err;
    EXPECT_TRUE(usage.contains(QStringLiteral("usage: make-demo-db")) && usage.contains(QStringLiteral("--register")))
        << usage.toStdString();
  }
}

TEST_F(HostTest, ALibraryBesideTheProgramThatDoesNotLoadIsNamed) {
  const std::filesystem::path folder = db.dir().file("host");
  std::filesystem::create_directory(folder);
  std::filesystem::copy_file(AUTOIEPCENSAD_RUN, folder / "autoiepcensad-run");
  std::ofstream(folder / "libautoiepcensad.so") << "not a library";
  listDatabase(db.path());
  const Result result = run({}, QString::fromStdString((folder / "autoiepcensad-run").string()));
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_TRUE(result.err.contains(QString::fromStdString((folder / "libautoiepcensad.so").string())))
      << result.err.toStdString();
}

// --register, as an administrator lists a database for the service: what the file holds after it.
TEST_F(HostTest, RegisterListsTheDatabaseAndMakesItTheChosenOneKeepingEveryOtherValue) {
  const std::string listed = "Windows Registry Editor Version 5.00\n\n"
                             "[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\Bazes]\n"
                             "\"Alfa\"=\"/a.fdb\"\n\"Zeta\"=\"/z.fdb\"\n\n"
                             "[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\AutoIepCenSad]\n"
                             "\"IMEI\"=dword:00000001\n";
  struct Row {
    const char* scenario;
    const char* before;  // nullptr: no file yet
    const char* name;
    const char* path;
    int exitCode;
    const char* stored;  // the path as listed afterwards; nullptr: the file must be unchanged
    int index;
  };
  const Row rows[] = {
      {"new file, relative path", nullptr, "Demo", "demo.fdb", 0, "", 0},
      {"between two names", listed.c_str(), "beta", "srv/3050:/b.fdb", 0, "srv/3050:/b.fdb", 1},
      {"replaces without regard to case", listed.c_str(), "ZETA", "/new.fdb", 0, "/new.fdb", 1},
      {"a file that does not parse", "not a registry file\n", "Demo", "/d.fdb", 3, nullptr, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.scenario);
    std::filesystem::remove(registryPath);
    if (row.before) std::ofstream(registryPath) << row.before;
    const Result result = run({QStringLiteral("--register"), QString::fromUtf8(row.name), QString::fromUtf8(row.path)});
    EXPECT_EQ(result.exitCode, row.exitCode) << result.err.toStdString();
    if (!row.stored) {
      std::ifstream file(registryPath);
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), row.before);
      EXPECT_TRUE(result.err.contains(QString::fromStdString(registryPath))) << result.err.toStdString();
      continue;
    }
    RegFileStore registry(registryPath);
    const auto databases = registry.openForRead("Software\\ORMANTA\\Talvix\\Bazes");
    ASSERT_TRUE(databases);
    const std::string expected = *row.stored ? row.stored : (std::filesystem::current_path() / row.path).string();
    EXPECT_EQ(databases->readString(row.name), expected);
    EXPECT_EQ(registry.openForRead("Software\\ORMANTA\\Talvix\\Password")->readInteger("LastDBIndex"), row.index);
    if (row.before) {
      EXPECT_EQ(databases->valueNames().size(), std::string(row.name) == "beta" ? 3u : 2u);
      EXPECT_EQ(databases->readString("Alfa"), "/a.fdb");
      EXPECT_EQ(settingsKey()->readInteger("IMEI"), 1);
    } else {
      EXPECT_EQ(std::filesystem::status(registryPath).permissions() & std::filesystem::perms::all,
                std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    }
  }
}

TEST(LibraryExportsTest, OnlyTheEntryPointsAreExported) {
  void* library = dlopen(AUTOIEPCENSAD_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  for (const char* name : {"AutoIepCenSad", "_ZN14TAutoIepCenSad17DllCallMakePasizmEv", "AutoIepCenSadCreate",
                           "AutoIepCenSadMakePasizm", "AutoIepCenSadSetLineObserver", "AutoIepCenSadSetBoxHandler",
                           "AutoIepCenSadUseDatabase", "AutoIepCenSadSetPeriod"})
    EXPECT_NE(dlsym(library, name), nullptr) << name;
  // The run's code and the window's insides stay inside.
  for (const char* name : {"_ZN6talvix10runCostingERNS_10RunContextE", "_ZN14TAutoIepCenSad10FormCreateEv"})
    EXPECT_EQ(dlsym(library, name), nullptr) << name;
  dlclose(library);
}

}  // namespace
}  // namespace talvix::test
