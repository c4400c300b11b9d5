// autoiepcensad-run on input it cannot use: a registry file it cannot parse, a database list that
// names no Firebird database, a database without the stock tables, settings of the wrong type,
// NULL in every column it reads and a tax of -100. Each ends with a message that says what and
// where, and nothing is lost.
#include "data/query.h"
#include "registry/registry_store.h"
#include "step/run_settings.h"
#include "support/host_run.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>

namespace talvix::test {
namespace {

constexpr char kCannotOpen[] = "Nevaru atvērt datu bāzi !!!";
constexpr char kHeader[] = "Windows Registry Editor Version 5.00\n\n";
constexpr char kBazes[] = "[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\Bazes]\n";
constexpr char kSettingsSection[] = "[HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\AutoIepCenSad]\n";
constexpr char kSettingsKey[] = "Software\\ORMANTA\\Talvix\\AutoIepCenSad";
constexpr char kAverageDone[] = "Vidējā svērtā piešķiršana pabeigta ";
constexpr char kProcessDone[] = "Process pabeigts";
constexpr char kPassDone[] = "FIFO piešķiršana pabeigta ";

DateTime mar(int d) { return makeDate(2026, 3, d); }

std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// An 8-byte date-time as regedit writes REG_BINARY.
std::string hexDouble(double value) {
  unsigned char bytes[8];
  std::memcpy(bytes, &value, sizeof bytes);
  std::string text = "hex:";
  for (int i = 0; i < 8; ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
    text += (i ? "," : "") + std::string(pair);
  }
  return text;
}

struct Result {
  int exitCode = -1;
  std::vector<std::string> out;  // the progress log's texts, after the time stamp
  std::string err;               // message boxes
};

class BadInputTest : public ::testing::Test {
 protected:
  BadInputTest() : registryPath(db.dir().file("registry.reg")) {}

  // The Bazes key naming `connection`, then `more` sections.
  std::string listing(const std::string& connection, const std::string& more = "") const {
    return std::string(kHeader) + kBazes + "\"Noliktava\"=\"" + connection + "\"\n\n" + more;
  }

  // The ten settings over March 2026, every kind in `mode`, with `changed` lines in place of the
  // values of the same name.
  static std::string settings(int mode, const std::vector<std::string>& changed = {},
                              const std::vector<std::string>& ticked = {}) {
    std::vector<std::string> lines = {"\"DatumsNo\"=" + hexDouble(mar(1)), "\"DatumsLidz\"=" + hexDouble(mar(31))};
    for (const char* name : {"PedejaCena", "ParvIzrakst1PardCena", "PakalpojumusNe", "IMEI"}) {
      const bool on = std::find(ticked.begin(), ticked.end(), name) != ticked.end();
      lines.push_back("\"" + std::string(name) + "\"=dword:0000000" + (on ? "1" : "0"));
    }
    for (const char* name : {"ParvietosanaChk", "IzrakstisanaChk", "AtgriesanaChk", "AtlikumiChk"})
      lines.push_back("\"" + std::string(name) + "\"=dword:0000000" + std::to_string(mode));
    for (const std::string& change : changed) {
      const std::string name = change.substr(0, change.find('=') + 1);
      for (std::string& line : lines)
        if (line.rfind(name, 0) == 0) line = change;
    }
    std::string text = kSettingsSection;
    for (const std::string& line : lines) text += line + "\n";
    return text + "\n";
  }

  Result run(const QStringList& arguments = {}) {
    db.connection().close();  // the tool opens the file itself
    std::vector<std::string> texts;
    for (const QString& argument : arguments) texts.push_back(argument.toStdString());
    HostRun host(registryPath, texts, {.verbose = false});
    Result result;
    result.exitCode = host.finish(std::chrono::seconds(120));
    if (result.exitCode == -1) ADD_FAILURE() << "still running after two minutes";
    for (const QString& line : QString::fromStdString(host.output()).split(u'\n', Qt::SkipEmptyParts))
      result.out.push_back(line.mid(line.indexOf(u' ') + 1).toStdString());
    result.err = host.errors();
    db.connection().open();
    return result;
  }

  TestDatabase db;
  std::string registryPath;
};

// --- the registry and the database list ---------------------------------------------------------

struct UnparseableRow {
  const char* scenario;
  std::string bytes;
  int line;
};

TEST_F(BadInputTest, ARegistryFileThatCannotBeParsedIsNamedWithItsLineAndLeftAsItWas) {
  const std::string bazes = std::string(kHeader) + kBazes;
  const UnparseableRow rows[] = {
      {"no header", "[HKEY_CURRENT_USER\\Software]\n", 1},
      {"a string without its closing quote", bazes + "\"Noliktava\"=\"" + db.path() + "\n", 4},
      {"a dword that is no number", bazes + "\"Noliktava\"=\"x\"\n\"Skaits\"=dword:zz\n", 5},
      {"bytes that are not UTF-8", bazes + "\"Noliktava\"=\"\xff\xfe\"\n", 4},
      {"a key without its closing bracket", bazes + "\n[HKEY_CURRENT_USER\\Software\\ORMANTA\n", 5},
  };
  for (const UnparseableRow& row : rows) {
    SCOPED_TRACE(row.scenario);
    writeBytes(registryPath, row.bytes);
    const Result result = run();
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(result.err.find(registryPath + ":" + std::to_string(row.line) + ": "), std::string::npos)
        << result.err;
    EXPECT_TRUE(result.out.empty());
    EXPECT_EQ(readBytes(registryPath), row.bytes);
  }
}

struct NotADatabaseRow {
  const char* scenario;
  std::string bytes;
  const char* firebirdText;
};

TEST_F(BadInputTest, ADatabaseListNamingAFileThatIsNoDatabaseEndsWithFirebirdsTextAndKeepsTheFile) {
  std::mt19937 random(7);
  std::string noise(20000, '\0');
  for (char& byte : noise) byte = static_cast<char>(random());
  std::string text;
  while (text.size() < 40000) text += "DatumsNo;DatumsLidz;Noliktava\n";
  const NotADatabaseRow rows[] = {
      {"an empty file", "", "File size is less than expected"},
      {"a text file", text, "is not a valid database"},
      {"random bytes", noise, "is not a valid database"},
  };
  const std::string file = db.dir().file("noliktava.fdb");
  for (const NotADatabaseRow& row : rows) {
    SCOPED_TRACE(row.scenario);
    writeBytes(file, row.bytes);
    writeBytes(registryPath, listing(file));
    const Result result = run();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(kCannotOpen), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(row.firebirdText), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(file), std::string::npos) << "the message names the file: " << result.err;
    EXPECT_TRUE(result.out.empty());
    EXPECT_EQ(readBytes(file), row.bytes);
    EXPECT_EQ(readBytes(registryPath), listing(file)) << "a start that failed saves nothing";
  }
}

// --- a database without the stock tables ---------------------------------------------------------

struct MissingTablesRow {
  const char* scenario;
  const char* statements;
  const char* missingTable;
  bool settingsSaved;  // the blocked-period check passed
};

TEST_F(BadInputTest, ADatabaseWithoutTheStockTablesShowsFirebirdsErrorAndExitsThree) {
  const MissingTablesRow rows[] = {
      {"no tables at all: the blocked-period check fails", "", "N_BLOKDIENAS", false},
      {"blocked days only: the method query fails",
       "CREATE TABLE N_BLOKDIENAS (ISN INTEGER NOT NULL PRIMARY KEY, DATUMS DATE);", "N_ISI", true},
      {"no document tables: the weighted-average run fails",
       "CREATE TABLE N_BLOKDIENAS (ISN INTEGER NOT NULL PRIMARY KEY, DATUMS DATE);"
       "CREATE TABLE N_ISI (ISN INTEGER NOT NULL PRIMARY KEY, ISIFIFO INTEGER, NEPARBBLOK SMALLINT);"
       "INSERT INTO N_ISI (ISN, ISIFIFO, NEPARBBLOK) VALUES (1, 0, 0);",
       "S_OPERACIJAS", true},
  };
  int number = 0;
  for (const MissingTablesRow& row : rows) {
    SCOPED_TRACE(row.scenario);
    const std::string file = db.dir().file("bare" + std::to_string(++number) + ".fdb");
    createDatabase(file, row.statements);
    // IMEI stored as 5 comes back as 1 when the settings are saved.
    writeBytes(registryPath, listing(file, settings(kOnlyWithoutCost, {"\"IMEI\"=dword:00000005"})));
    const Result result = run();
    EXPECT_EQ(result.exitCode, 3) << "the database opened; the run ended in the error box";
    EXPECT_NE(result.err.find("Table unknown"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(std::string("-") + row.missingTable), std::string::npos) << result.err;
    for (const std::string& text : result.out) {
      EXPECT_NE(text, kProcessDone);
      EXPECT_EQ(text.rfind(kAverageDone, 0), std::string::npos) << text;
    }
    auto key = RegFileStore(registryPath).openForRead(kSettingsKey);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->readInteger("IMEI"), row.settingsSaved ? 1 : 5);
  }
}

// --- settings of the wrong type ----------------------------------------------------------------

struct WrongTypeRow {
  const char* scenario;
  std::string line;   // replaces the value of the same name
  const char* named;  // the value the message names; nullptr: no message
};

TEST_F(BadInputTest, ASettingOfTheWrongTypeIsNamedAndTheRestOfTheRegistryKept) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double infinity = std::numeric_limits<double>::infinity();
  const WrongTypeRow rows[] = {
      {"a date as text", "\"DatumsNo\"=\"01.03.2026\"", "DatumsNo"},
      {"a date as a dword", "\"DatumsLidz\"=dword:0000b3b5", "DatumsLidz"},
      {"a date of four bytes", "\"DatumsNo\"=hex:00,00,a0,40", "DatumsNo"},
      {"a date that is not a number", "\"DatumsNo\"=" + hexDouble(nan), "DatumsNo"},
      {"a date that is infinite", "\"DatumsLidz\"=" + hexDouble(infinity), "DatumsLidz"},
      {"a date far beyond the year 9999", "\"DatumsLidz\"=" + hexDouble(1e300), "DatumsLidz"},
      {"a date before 1899", "\"DatumsNo\"=" + hexDouble(-1e6), "DatumsNo"},
      {"a check box as text", "\"PedejaCena\"=\"1\"", "PedejaCena"},
      {"a mode as a date", "\"ParvietosanaChk\"=" + hexDouble(1.0), "ParvietosanaChk"},
      {"a mode as text", "\"AtgriesanaChk\"=\"2\"", "AtgriesanaChk"},
      {"a guarded mode as text keeps its default silently", "\"AtlikumiChk\"=\"2\"", nullptr},
  };
  db.setFifo(1);
  const std::string foreign = "[HKEY_LOCAL_MACHINE\\Software\\Cits]\n\"Paliek\"=\"jā\"\n\n";
  for (const WrongTypeRow& row : rows) {
    SCOPED_TRACE(row.scenario);
    std::string section = settings(kOnlyWithoutCost, {row.line});
    section.insert(std::string(kSettingsSection).size(), "\"Cits\"=\"paliek\"\n");
    writeBytes(registryPath, listing(db.path(), section + foreign));
    const Result result = run({"--passes", "1"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), kPassDone), 1) << "the run goes on\n" << result.err;
    if (row.named) {
      EXPECT_NE(result.err.find(std::string("registry value \"") + row.named +
                                "\" in HKEY_CURRENT_USER\\Software\\ORMANTA\\Talvix\\AutoIepCenSad"),
                std::string::npos)
          << result.err;
    } else {
      EXPECT_EQ(result.err.find("registry value"), std::string::npos) << result.err;
    }
    // The run saved the window's settings over the bad value; everything else is as it was.
    const std::string after = readBytes(registryPath);
    EXPECT_NE(after.find(foreign), std::string::npos) << after;
    RegFileStore registry(registryPath);
    auto bazes = registry.openForRead("Software\\ORMANTA\\Talvix\\Bazes");
    ASSERT_NE(bazes, nullptr);
    EXPECT_EQ(bazes->readString("Noliktava"), db.path());
    auto key = registry.openForRead(kSettingsKey);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->readString("Cits"), "paliek");
    EXPECT_TRUE(std::isfinite(key->readDateTime("DatumsNo")));
    EXPECT_TRUE(std::isfinite(key->readDateTime("DatumsLidz")));
    for (const char* name : {"PedejaCena", "ParvIzrakst1PardCena", "PakalpojumusNe", "IMEI", "ParvietosanaChk",
                             "IzrakstisanaChk", "AtgriesanaChk", "AtlikumiChk"})
      EXPECT_NO_THROW(key->readInteger(name)) << name;
  }
}

// --- NULL wherever the schema allows it -----------------------------------------------------------

// Every column the tool reads, by table; the cost column of each document line table comes first.
const std::vector<std::pair<std::string, std::vector<std::string>>> kColumns = {
    {"N_KLPREC", {"NOSAUKUMS", "PAKALPOJ", "CENA1"}},
    {"N_ISI", {"ISIFIFO", "NEPARBBLOK"}},
    {"N_BLOKDIENAS", {"DATUMS"}},
    {"O_PARPAV", {"DATUMS", "ISNODALANO", "ISNODALAUZ"}},
    {"O_PARPRC", {"CENA", "ISPARVPAV", "ISPRECE", "DAUDZUMS", "NODOKLIS", "ISSERTIF"}},
    {"O_PAVOUT", {"DATUMS", "ISNODALA", "ISKLIENT"}},
    {"O_PRCOUT", {"IEP_CENA", "ISPAVOUT", "ISPRECE", "DAUDZUMS", "CENA", "PIECENOJ", "NODOKLIS", "ISSERTIF"}},
    {"O_ATGPAV", {"DATUMS", "ISNODALA", "ISKLIENT", "FROM_WHAT"}},
    {"O_ATGPRC", {"IEP_CENA", "ISATGPAV", "ISPRECE", "DAUDZUMS", "CENA", "PIECENOJ", "ISSERTIF"}},
    {"O_PRATL_PAV", {"DATUMS", "ISNODALA", "NEAPSTIPR"}},
    {"O_PRATL_PRC", {"IEP_CENA", "ISPRATLPAV", "ISPRECE", "DAUDZUMS", "ISSERTIF"}},
    {"O_PAVADZ", {"DAT_SANEM", "ISNODALA"}},
    {"O_PRECE", {"ISPAVADZ", "ISPRECE", "DAUDZUMS", "CENA", "ATLAIDE", "ISSERTIF"}},
};
const std::set<std::string> kCostTables = {"O_PARPRC", "O_PRCOUT", "O_ATGPRC", "O_PRATL_PRC"};
// Columns a line needs to be found by a run at all: its document, its goods, its date.
const std::set<std::string> kLinks = {"ISPARVPAV", "ISPAVOUT", "ISATGPAV", "ISPRATLPAV", "ISPAVADZ",
                                      "ISPRECE",   "DATUMS",   "DAT_SANEM"};

// Table → ISN → the columns as text ("NULL" for NULL); the cost columns separately.
struct Contents {
  std::map<std::string, std::map<int, std::string>> rows;
  std::map<std::string, std::map<int, std::optional<double>>> costs;
};

Contents contents(Connection& connection) {
  Contents result;
  for (const auto& [table, columns] : kColumns) {
    std::string list = "ISN";
    for (const std::string& column : columns) list += ", " + column;
    Query q(connection);
    q.setSql("SELECT " + list + " FROM " + table);
    q.open();
    const bool costed = kCostTables.count(table) > 0;
    for (q.first(); !q.eof(); q.next()) {
      std::string row;
      for (std::size_t c = costed ? 2 : 1; c <= columns.size(); ++c)
        row += (q.isNull(static_cast<int>(c)) ? std::string("NULL") : q.asString(static_cast<int>(c))) + "|";
      result.rows[table][q.asInteger(0)] = row;
      if (costed) result.costs[table][q.asInteger(0)] = q.isNull(1) ? std::nullopt : std::optional(q.asDouble(1));
    }
  }
  return result;
}

struct NullRunRow {
  const char* scenario;
  std::optional<int> isififo;
  int mode;
  std::vector<std::string> ticked;
  QStringList arguments;
  const char* lastLine;  // the last line, or its beginning
};

TEST_F(BadInputTest, NullInEveryColumnTheToolReadsIsPricedWithoutCrashingAndKeepsEverythingElse) {
  const NullRunRow rows[] = {
      {"FIFO, every kind anew", 1, kAllAnew, {}, {}, kProcessDone},
      {"FIFO with serial numbers and without services", 1, kAllAnew, {"IMEI", "PakalpojumusNe"}, {}, kProcessDone},
      {"FIFO at the last purchase price", 1, kAllAnew, {"PedejaCena"}, {}, kProcessDone},
      {"FIFO at the first sale price", 1, kAllAnew, {"ParvIzrakst1PardCena"}, {}, kProcessDone},
      {"FIFO, lines without cost, two passes", 1, kOnlyWithoutCost, {}, {"--passes", "2"}, "Ilgums: "},
      {"weighted average, every kind anew", std::nullopt, kAllAnew, {}, {}, kAverageDone},
      {"weighted average at the last purchase price", std::nullopt, kOnlyWithoutCost, {"PedejaCena"}, {},
       kAverageDone},
  };
  for (const NullRunRow& row : rows) {
    SCOPED_TRACE(row.scenario);
    TestDatabase nulls;
    nulls.setFifo(row.isififo);
    nulls.exec("UPDATE N_ISI SET NEPARBBLOK = NULL");
    nulls.exec("INSERT INTO N_BLOKDIENAS (ISN) VALUES (1)");
    // An ordinary history of goods g, a negative issue without a client among it.
    const int g = nulls.goods("Prece", 12.1);
    nulls.receipt({.date = makeDate(2026, 2, 20), .goods = g, .qty = 5, .price = 4});
    nulls.balance({.date = mar(1), .goods = g, .qty = 2});
    nulls.transfer({.date = mar(5), .goods = g, .qty = 2});
    nulls.issue({.date = mar(6), .goods = g, .qty = 2, .client = 7});
    nulls.issue({.date = mar(8), .goods = g, .qty = -1});
    nulls.returned({.date = mar(9), .goods = g, .client = 7});
    // One line of every kind on goods n whose every column but document, goods and date is NULL.
    const int n = nulls.goods("Tukša");
    nulls.receipt({.date = mar(2), .goods = n});
    nulls.balance({.date = mar(1), .goods = n});
    nulls.transfer({.date = mar(3), .goods = n});
    nulls.issue({.date = mar(4), .goods = n});
    nulls.returned({.date = mar(5), .goods = n});
    for (const auto& [table, columns] : kColumns) {
      std::string set;
      for (const std::string& column : columns)
        if (!kLinks.count(column)) set += (set.empty() ? "" : ", ") + column + " = NULL";
      if (table == "N_ISI" || table == "N_BLOKDIENAS") continue;
      const std::string where = table == "N_KLPREC" ? "ISN = " + std::to_string(n) : "ISN >= " + std::to_string(n);
      if (!set.empty()) nulls.exec("UPDATE " + table + " SET " + set + " WHERE " + where);
      // And a row holding nothing but its key.
      if (table != "N_KLPREC") nulls.exec("INSERT INTO " + table + " (ISN) VALUES (" + std::to_string(900000) + ")");
    }
    nulls.exec("INSERT INTO N_KLPREC (ISN) VALUES (900000)");
    const Contents before = contents(nulls.connection());
    nulls.connection().close();

    writeBytes(registryPath, listing(nulls.path(), settings(row.mode, {}, row.ticked)));
    const Result result = run(row.arguments);
    nulls.connection().open();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    ASSERT_FALSE(result.out.empty()) << result.err;
    EXPECT_EQ(result.out.back().rfind(row.lastLine, 0), 0u) << result.out.back() << "\n" << result.err;
    for (const std::string& text : result.out) EXPECT_EQ(text.find("Kļūda"), std::string::npos) << text;

    const Contents after = contents(nulls.connection());
    EXPECT_EQ(after.rows, before.rows) << "only costs are written";
    for (const auto& [table, lines] : after.costs)
      for (const auto& [isn, cost] : lines) {
        SCOPED_TRACE(table + " " + std::to_string(isn));
        EXPECT_TRUE(!cost || std::isfinite(*cost));
        if (isn == 900000) {
          EXPECT_FALSE(cost) << "a line without date or goods is not touched";
        } else if (isn > n && row.mode == kAllAnew) {
          EXPECT_TRUE(cost) << "the run reached the line";
        }
      }
  }
}

// --- a tax of -100 -----------------------------------------------------------------------------

TEST_F(BadInputTest, ATaxOfMinus100IsWrittenAsZeroNotAsAnInfinitePrice) {
  db.setFifo(1);
  const int g = db.goods("Prece", 12.10);
  const int transferAt100 = db.transfer({.date = mar(5), .goods = g, .qty = 1, .tax = -100});
  const int issueAt100 = db.issue({.date = mar(5), .goods = g, .qty = 1, .tax = -100});
  const int transferAt21 = db.transfer({.date = mar(6), .goods = g, .qty = 1, .tax = 21});
  const int issueAt21 = db.issue({.date = mar(6), .goods = g, .qty = 1, .tax = 21});
  writeBytes(registryPath, listing(db.path(), settings(kAllAnew, {}, {"ParvIzrakst1PardCena"})));
  const Result result = run();
  EXPECT_EQ(result.exitCode, 0) << result.err;
  ASSERT_FALSE(result.out.empty()) << result.err;
  EXPECT_EQ(result.out.back(), kProcessDone);
  EXPECT_EQ(db.transferCost(transferAt100), 0.0);
  EXPECT_EQ(db.issueCost(issueAt100), 0.0);
  EXPECT_FALSE(db.isNull("SELECT CENA FROM O_PARPRC WHERE ISN=" + std::to_string(transferAt100)));
  EXPECT_FALSE(db.isNull("SELECT IEP_CENA FROM O_PRCOUT WHERE ISN=" + std::to_string(issueAt100)));
  // The same path with an ordinary tax takes the tax off the first sale price.
  EXPECT_NEAR(db.transferCost(transferAt21), 10.0, 1e-9);
  EXPECT_NEAR(db.issueCost(issueAt21), 10.0, 1e-9);
}

}  // namespace
}  // namespace talvix::test
