// autoiepcensad-run --preview: on a seeded history under each method and mode, the preview leaves
// every table and the registry file as they were, and the real run then writes exactly the costs
// it listed and no other, closing with a line that counts them, sums the money they move and counts the
// lines still without cost as the report lists them; refusals and bad command lines write no file.
#include "data/query.h"
#include "report/preview_csv.h"
#include "report/preview_summary.h"
#include "report/unpriced_csv.h"
#include "support/csv_records.h"
#include "support/host_registry.h"
#include "support/host_run.h"
#include "support/table_dump.h"
#include "support/temp_dir.h"
#include "support/test_database.h"
#include "tools/demo/demo_history.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <algorithm>
#include <cmath>
#include <ostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace talvix::test {
namespace {

const DateTime kLastDay = makeDate(2026, 3, 31);
constexpr int kDays = 40;

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct HostResult {
  int exitCode;
  std::string out;
  std::string err;
  std::string lastLine() const {
    const std::size_t end = out.find_last_not_of('\n');
    return end == std::string::npos ? "" : out.substr(out.rfind('\n', end) + 1, end - out.rfind('\n', end));
  }
};

HostResult host(const std::string& registry, const std::vector<std::string>& arguments) {
  HostRun run(registry, arguments, {.verbose = false, .program = {}});
  const int code = run.finish(std::chrono::seconds(600));
  return {code, run.output(), run.errors()};
}

using LineCosts = std::map<std::pair<std::string, int>, std::string>;  // (kind, line) -> cost or NULL

LineCosts everyCost(const std::string& database) {
  Connection c;
  c.setDatabaseName(database);
  c.open();
  LineCosts costs;
  for (const auto& [kind, sql] :
       std::map<std::string, std::string>{{"transfer", "SELECT ISN, CENA FROM O_PARPRC"},
                                          {"issue", "SELECT ISN, IEP_CENA FROM O_PRCOUT"},
                                          {"return", "SELECT ISN, IEP_CENA FROM O_ATGPRC"},
                                          {"goods balance", "SELECT ISN, IEP_CENA FROM O_PRATL_PRC"}}) {
    Query q(c);
    q.setSql(sql);
    q.open();
    char text[64];
    for (q.first(); !q.eof(); q.next()) {
      std::snprintf(text, sizeof text, "%.17g", q.asDouble(1));
      costs[{kind, q.asInteger(0)}] = q.isNull(1) ? "NULL" : text;
    }
  }
  return costs;
}

double number(const std::string& text) { return text == "NULL" ? 0.0 : std::strtod(text.c_str(), nullptr); }

// What a person reads of a number, and what the CSV prints: its first 15 significant digits.
double fifteenDigits(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", value);
  return std::strtod(text, nullptr);
}

// "Mainītas pašizmaksas: 690 rindas, vērtības izmaiņa +42 560,10; bez pašizmaksas vēl 142 rindas"
struct RunSummaryLine {
  std::string text;
  long long changed;
  double money;
  long long stillWithoutCost;
};

std::vector<RunSummaryLine> summaryLines(const std::string& out) {
  static const std::regex line(
      "Mainītas pašizmaksas: ([0-9]+) rindas?, vērtības izmaiņa ([-+][0-9 ]+),([0-9]{2}); bez pašizmaksas vēl ([0-9]+) "
      "rindas?");
  std::vector<RunSummaryLine> found;
  std::istringstream lines(out);
  for (std::string text; std::getline(lines, text);) {
    std::smatch m;
    if (!std::regex_search(text, m, line)) continue;
    std::string whole = m[2].str();
    whole.erase(std::remove(whole.begin(), whole.end(), ' '), whole.end());
    found.push_back({text, std::stoll(m[1].str()), std::stod(whole + "." + m[3].str()), std::stoll(m[4].str())});
  }
  return found;
}

struct SeededRow {
  const char* name;
  int fifo;  // ISIFIFO
  int mode;  // every kind's
  bool skipServices;
  std::vector<std::string> realRunArguments;
};

void PrintTo(const SeededRow& row, std::ostream* out) { *out << row.name; }

const SeededRow kSeededRows[] = {
    {"FifoMode1", 1, 1, true, {"--passes", "2"}},  // the second pass changes nothing
    {"FifoMode2", 1, 2, false, {}},
    {"AverageMode1", 0, 1, false, {}},
    {"AverageMode2", 0, 2, true, {}},
};

class PreviewSeededTest : public ::testing::TestWithParam<SeededRow> {
 protected:
  void SetUp() override {
    demo::HistoryShape shape;
    shape.goods = 30;
    shape.departments = 3;
    shape.days = kDays;
    shape.lines = 1500;
    shape.lastDay = kLastDay;
    shape.fifoMethod = GetParam().fifo;
    demo::makeDemoDatabase(previewDb, shape);
    {
      Connection c;  // the demo's blocked days would refuse the period; some lines hold a cost already
      c.setDatabaseName(previewDb);
      c.open();
      for (const char* sql : {"DELETE FROM N_BLOKDIENAS", "UPDATE O_PRCOUT SET IEP_CENA = 1.25 WHERE MOD(ISN, 3) = 0",
                              "UPDATE O_PARPRC SET CENA = 0.75 WHERE MOD(ISN, 4) = 0"})
        c.executeImmediate(sql);
      c.defaultTransaction().commit();
    }
    std::filesystem::copy_file(previewDb, realDb);
    const int m = GetParam().mode;
    const std::map<std::string, int> settings = {{"ParvietosanaChk", m},
                                                 {"IzrakstisanaChk", m},
                                                 {"AtgriesanaChk", m},
                                                 {"AtlikumiChk", m},
                                                 {"PakalpojumusNe", GetParam().skipServices},
                                                 {"IMEI", 1},
                                                 {"PedejaCena", 0},
                                                 {"ParvIzrakst1PardCena", 0}};
    writeHostRegistry(previewRegistry, previewDb, kLastDay - kDays + 1, kLastDay, settings);
    writeHostRegistry(realRegistry, realDb, kLastDay - kDays + 1, kLastDay, settings);
  }

  TempDir dir;
  std::string previewDb = dir.file("preview.fdb"), realDb = dir.file("real.fdb");
  std::string previewRegistry = dir.file("preview.reg"), realRegistry = dir.file("real.reg");
};

TEST_P(PreviewSeededTest, KeepsNothingAndListsExactlyWhatTheRealRunWrites) {
  const std::string tablesBefore = dumpEveryTable(previewDb), registryBefore = readFile(previewRegistry);
  const std::string file = dir.file("preview.csv");
  const HostResult preview = host(previewRegistry, {"--preview", file});
  ASSERT_EQ(preview.exitCode, 0) << preview.err;
  EXPECT_EQ(dumpEveryTable(previewDb), tablesBefore) << "the preview left a write behind";
  EXPECT_EQ(readFile(previewRegistry), registryBefore) << "the preview wrote the registry";

  const HostResult real = host(realRegistry, GetParam().realRunArguments);
  ASSERT_EQ(real.exitCode, 0) << real.err;
  const LineCosts before = everyCost(previewDb), after = everyCost(realDb);

  const std::string csv = readFile(file);
  EXPECT_EQ(csv.rfind(kUtf8Bom, 0), 0u) << "a CSV file starts with the byte-order mark";
  const auto records = parseCsv(csv);
  ASSERT_GE(records.size(), 2u) << "nothing would change";
  EXPECT_EQ(records[0], (std::vector<std::string>{"kind", "date", "department", "goods", "name", "quantity", "line",
                                                  "cost_now", "cost_after", "value_change"}));
  std::map<std::string, double> valueOfKind;
  LineCosts listed;
  for (std::size_t i = 1; i < records.size(); ++i) {
    const std::vector<std::string>& r = records[i];
    ASSERT_EQ(r.size(), 10u) << "record " << i;
    const std::pair<std::string, int> line{r[0], std::stoi(r[6])};
    ASSERT_TRUE(listed.emplace(line, r[8]).second) << "listed twice: " << r[0] << " " << r[6];
    ASSERT_EQ(before.count(line), 1u) << r[0] << " " << r[6];
    const double now = number(before.at(line)), written = number(after.at(line));
    EXPECT_EQ(fifteenDigits(now), number(r[7])) << "cost_now of " << r[0] << " " << r[6];
    EXPECT_EQ(fifteenDigits(written), number(r[8])) << "the real run wrote another cost into " << r[0] << " " << r[6];
    const double change = number(r[5]) * (written - now);
    EXPECT_EQ(number(r[9]), fifteenDigits(change)) << r[0] << " " << r[6];
    valueOfKind[r[0]] += change;
  }
  for (const auto& [line, cost] : after) {
    if (listed.count(line)) continue;
    EXPECT_EQ(cost, before.at(line)) << "unlisted " << line.first << " " << line.second;
  }
  double total = 0.0;
  for (const char* kind : {"goods balance", "transfer", "issue", "return"}) total += valueOfKind[kind];
  const std::string summary = preview.lastLine();
  EXPECT_EQ(summary.rfind("Would change: ", 0), 0u) << summary;
  EXPECT_EQ(summary.substr(summary.rfind(" total ") + 7), signedMoney(total)) << summary;

  // The real run's own closing line says the same, and how many lines it left without cost.
  const std::vector<RunSummaryLine> said = summaryLines(real.out);
  ASSERT_EQ(said.size(), 1u) << real.out;
  EXPECT_EQ(said[0].changed, static_cast<long long>(records.size() - 1)) << said[0].text;
  EXPECT_NEAR(said[0].money, total, 0.005) << said[0].text;
  const std::string unpriced = dir.file("unpriced.csv");
  const HostResult report = host(realRegistry, {"--unpriced-only", unpriced});
  ASSERT_EQ(report.exitCode, 0) << report.err;
  EXPECT_EQ(said[0].stillWithoutCost, static_cast<long long>(parseCsv(readFile(unpriced)).size() - 1)) << said[0].text;
}

// A member of the workbook, through unzip: the XML as it was written.
std::string workbookPart(const std::string& workbook, const std::string& part) {
  std::string text;
  if (std::FILE* pipe = ::popen(("unzip -p '" + workbook + "' '" + part + "'").c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    ::pclose(pipe);
  }
  return text;
}

// A sheet's cells by reference ("A3"), shared strings resolved; numbers as their text.
std::map<std::string, std::string> sheetCells(const std::string& workbook, int sheet) {
  std::vector<std::string> shared;
  const std::string strings = workbookPart(workbook, "xl/sharedStrings.xml");
  const std::regex item("<si><t[^>]*>([^<]*)</t></si>");
  for (auto it = std::sregex_iterator(strings.begin(), strings.end(), item); it != std::sregex_iterator(); ++it)
    shared.push_back((*it)[1]);
  std::map<std::string, std::string> cells;
  const std::string xml = workbookPart(workbook, "xl/worksheets/sheet" + std::to_string(sheet) + ".xml");
  const std::regex cell("<c r=\"([A-Z]+[0-9]+)\"([^>]*)><v>([^<]*)</v></c>");
  for (auto it = std::sregex_iterator(xml.begin(), xml.end(), cell); it != std::sregex_iterator(); ++it) {
    const std::string value = (*it)[3];
    cells[(*it)[1]] = std::string((*it)[2]).find("t=\"s\"") != std::string::npos ? shared.at(std::stoul(value)) : value;
  }
  return cells;
}

// The money that would move, summed from the CSV the same preview wrote.
struct CsvSums {
  std::map<std::string, std::pair<long, double>> byKind, byMonth;  // lines, money
  double total = 0;
  std::vector<std::pair<double, int>> lines;  // money, line key, in run order
};

CsvSums sumsOf(const std::vector<std::vector<std::string>>& records) {
  const std::map<std::string, std::string> latvian = {{"transfer", "Pārvietošana"},
                                                      {"issue", "Izrakstīšana"},
                                                      {"return", "Atgriezšana"},
                                                      {"goods balance", "Preču atlikumi"}};
  CsvSums sums;
  for (std::size_t i = 1; i < records.size(); ++i) {
    const double money = number(records[i][9]);
    auto& kind = sums.byKind[latvian.at(records[i][0])];
    auto& month = sums.byMonth[records[i][1].substr(3)];
    ++kind.first;
    kind.second += money;
    ++month.first;
    month.second += money;
    sums.total += money;
    sums.lines.push_back({money, std::stoi(records[i][6])});
  }
  std::stable_sort(sums.lines.begin(), sums.lines.end(),
                   [](const auto& a, const auto& b) { return std::fabs(a.first) > std::fabs(b.first); });
  return sums;
}

bool near(const std::string& text, double value) {
  return std::fabs(std::strtod(text.c_str(), nullptr) - value) <= 1e-6 * std::max(1.0, std::fabs(value));
}

TEST_P(PreviewSeededTest, AWorkbookAddsASheetOfTheMoneyByKindAndMonthWithTheLargestLinesAndCharts) {
  const std::string csvFile = dir.file("preview.csv"), workbook = dir.file("preview.xlsx");
  const HostResult csvRun = host(previewRegistry, {"--preview", csvFile});
  const HostResult workbookRun = host(previewRegistry, {"--preview", workbook});
  ASSERT_EQ(csvRun.exitCode, 0) << csvRun.err;
  ASSERT_EQ(workbookRun.exitCode, 0) << workbookRun.err;
  const auto records = parseCsv(readFile(csvFile));
  const CsvSums sums = sumsOf(records);
  ASSERT_GT(sums.lines.size(), kLargestLines);

  // The first sheet holds the CSV's rows, its header on the first row and each line under it.
  const auto lines = sheetCells(workbook, 1);
  for (std::size_t r = 0; r < records.size(); ++r) {
    const std::string row = std::to_string(r + 1);
    EXPECT_EQ(lines.at("A" + row), records[r][0]) << "row " << row;
    EXPECT_EQ(lines.at("G" + row), records[r][6]) << "row " << row;
  }
  EXPECT_EQ(lines.count("A" + std::to_string(records.size() + 1)), 0u) << "a row after the last line";

  const auto cells = sheetCells(workbook, 2);
  ASSERT_EQ(cells.at("A1"), "Pēc veida");
  std::map<std::string, int> rowOf;  // a label's first row
  for (const auto& [ref, text] : cells)
    if (ref[0] == 'A') {
      const auto [at, fresh] = rowOf.emplace(text, std::stoi(ref.substr(1)));
      if (!fresh) at->second = std::min(at->second, std::stoi(ref.substr(1)));
    }
  for (const auto& [kind, sum] : sums.byKind) {
    ASSERT_EQ(rowOf.count(kind), 1u) << kind;
    const std::string row = std::to_string(rowOf[kind]);
    EXPECT_EQ(cells.at("B" + row), std::to_string(sum.first)) << kind;
    EXPECT_TRUE(near(cells.at("C" + row), sum.second)) << kind << " " << cells.at("C" + row) << " " << sum.second;
  }
  const std::string total = std::to_string(rowOf.at("Kopā"));
  EXPECT_TRUE(near(cells.at("C" + total), sums.total)) << cells.at("C" + total);
  ASSERT_EQ(sums.byMonth.size(), 2u) << "the period spans two months";
  for (const auto& [month, sum] : sums.byMonth) {
    ASSERT_EQ(rowOf.count(month), 1u) << month;
    const std::string row = std::to_string(rowOf[month]);
    EXPECT_EQ(cells.at("B" + row), std::to_string(sum.first)) << month;
    EXPECT_TRUE(near(cells.at("C" + row), sum.second)) << month;
  }
  const int largest = rowOf.at("20 rindas, kas mainās visvairāk") + 2;
  for (std::size_t i = 0; i < kLargestLines; ++i) {
    const std::string row = std::to_string(largest + static_cast<int>(i));
    EXPECT_EQ(cells.at("G" + row), std::to_string(sums.lines[i].second)) << "largest " << i;
    EXPECT_TRUE(near(cells.at("J" + row), sums.lines[i].first)) << "largest " << i;
  }
  EXPECT_EQ(cells.count("G" + std::to_string(largest + static_cast<int>(kLargestLines))), 0u) << "only 20 lines";
  const std::string kindChart = workbookPart(workbook, "xl/charts/chart1.xml");
  EXPECT_NE(kindChart.find("Kopsavilkums!$C$2:$C$" + std::to_string(rowOf.at("Kopā") - 1)),
            std::string::npos)
      << kindChart.substr(0, 2000);
  EXPECT_NE(workbookPart(workbook, "xl/charts/chart2.xml").find("Kopsavilkums!$A$"), std::string::npos);

  // The host prints the same sums in Latvian, the English machine line last.
  EXPECT_NE(workbookRun.out.find("Mainītu:"), std::string::npos) << workbookRun.out;
  EXPECT_NE(workbookRun.out.find(" kopā " + signedMoney(sums.total) + "\n"), std::string::npos) << workbookRun.out;
  for (const auto& [month, sum] : sums.byMonth)
    EXPECT_NE(workbookRun.out.find("  " + month + ": " + std::to_string(sum.first) + " rind"), std::string::npos)
        << workbookRun.out;
  EXPECT_EQ(workbookRun.lastLine().rfind("Would change: ", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Histories, PreviewSeededTest, ::testing::ValuesIn(kSeededRows),
                         [](const auto& info) { return std::string(info.param.name); });

struct RefusedRow {
  const char* name;
  int fifo;
  DateTime lastDay;
  bool blocked;
  std::vector<std::string> arguments;  // "FILE" stands for the preview's file
  int exitCode;
  std::string error;
};

void PrintTo(const RefusedRow& row, std::ostream* out) { *out << row.name; }

const RefusedRow kRefusedRows[] = {
    {"AveragePeriodOver100Days", 0, makeDate(2026, 6, 30), false, {"--preview", "FILE"}, 4, "100 dienas"},
    {"BlockedDay", 1, makeDate(2026, 3, 31), true, {"--preview", "FILE"}, 4, "bloķētās dienas"},
    {"NoFile", 1, makeDate(2026, 3, 31), false, {"--preview"}, 2, "--preview needs a value"},
    {"WithUnpriced", 1, makeDate(2026, 3, 31), false, {"--preview", "FILE", "--unpriced", "-"}, 2, "--unpriced"},
    {"WithPasses", 1, makeDate(2026, 3, 31), false, {"--preview", "FILE", "--passes", "2"}, 2, "one pass"},
    {"UnwritableFile",
     1,
     makeDate(2026, 3, 31),
     false,
     {"--preview", "/nonexistent/preview.csv"},
     3,
     "Nevaru ierakstīt pārskatu failā /nonexistent/preview.csv: tādas mapes nav"},
    {"UnderProc",
     1,
     makeDate(2026, 3, 31),
     false,
     {"--preview", "/proc/preview.xlsx"},
     3,
     "Nevaru ierakstīt pārskatu failā /proc/preview.xlsx: tā ir kodola failu sistēma"},
};

class PreviewRefusedTest : public ::testing::TestWithParam<RefusedRow> {};

TEST_P(PreviewRefusedTest, ExitsWithItsStatusAndWritesNoFile) {
  const RefusedRow& row = GetParam();
  TestDatabase db;
  db.setFifo(row.fifo);
  const int g = db.goods("Prece G");
  db.receipt({.date = makeDate(2026, 3, 2), .goods = g, .qty = 5, .price = 2});
  db.issue({.date = makeDate(2026, 3, 12), .goods = g});
  if (row.blocked) db.blockDay(makeDate(2026, 3, 10));
  const std::string registry = db.dir().file("registry.reg"), file = db.dir().file("preview.csv");
  writeHostRegistry(registry, db.path(), makeDate(2026, 3, 1), row.lastDay, {{"IzrakstisanaChk", 2}});
  const std::string tablesBefore = dumpEveryTable(db.connection());
  db.connection().close();
  std::vector<std::string> arguments = row.arguments;
  for (std::string& each : arguments)
    if (each == "FILE") each = file;
  const HostResult run = host(registry, arguments);
  db.connection().open();
  EXPECT_EQ(run.exitCode, row.exitCode) << run.err;
  EXPECT_NE(run.err.find(row.error), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_EQ(dumpEveryTable(db.connection()), tablesBefore);
}

INSTANTIATE_TEST_SUITE_P(Cases, PreviewRefusedTest, ::testing::ValuesIn(kRefusedRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace talvix::test
