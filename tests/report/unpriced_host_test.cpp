// autoiepcensad-run --unpriced-only / --unpriced on a database holding one line of each reason
// under each method: every line listed once with its reason, lines with a cost and kinds in mode 0
// never, the database left as it was, and the count by kind as the output's last line.
#include "data/query.h"
#include "report/unpriced_csv.h"
#include "support/csv_records.h"
#include "support/host_registry.h"
#include "support/host_run.h"
#include "support/table_dump.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace talvix::test {
namespace {

DateTime feb(int d) { return makeDate(2026, 2, d); }
DateTime mar(int d) { return makeDate(2026, 3, d); }

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct Listed {
  std::string rule;
  std::string reason;
};

struct Written {
  std::map<int, Listed> listed;  // line key -> what the report must say
  std::vector<int> neverListed;  // lines with a cost, and lines of a kind in mode 0
};

struct HostRow {
  const char* name;
  int fifo;  // ISIFIFO
  std::map<std::string, int> settings;
  std::function<Written(TestDatabase&)> write;
  std::string summary;
  std::string latvianSummary;  // the line before it
};

void PrintTo(const HostRow& row, std::ostream* out) { *out << row.name; }

const std::string kBefore12 = "12.03.2026";

Written fifoHistory(TestDatabase& db) {
  Written w;
  const int g = db.goods("Prece G");
  const int service = db.goods("Piegāde", 0, "T");
  db.receipt({.date = mar(20), .dept = 2, .goods = g, .qty = 10, .price = 3});  // after every line
  const int sale = db.issue({.date = feb(20), .goods = g, .price = 5, .client = 7});
  w.listed[db.issue({.date = mar(12), .goods = service})] = {"not processed",
                                                              "service, left out by the services option"};
  w.listed[db.issue({.date = mar(12), .goods = g, .serial = 123})] = {"serial",
                                                                      "no receipt carries serial record 123"};
  w.listed[db.issue({.date = mar(12), .goods = g, .qty = -1, .price = 5, .client = 7})] = {
      "client sale",
      "the earlier sale to this client at this price (line " + std::to_string(sale) + ") has no cost yet"};
  w.listed[db.issue({.date = mar(12), .goods = g, .qty = -1, .price = 6, .client = 7})] = {
      "client sale", "no earlier sale to this client at this price, and no goods-balance cost before " + kBefore12};
  w.listed[db.issue({.date = mar(12), .dept = 1, .goods = g, .qty = 2})] = {
      "FIFO", "no stock layer with a cost on or before 12.03.2026 in this department"};
  w.listed[db.returned({.date = mar(12), .goods = g, .fromWhat = 1})] = {"not processed",
                                                                         "a return of origin 1 is never priced here"};
  w.listed[db.returned({.date = mar(12), .goods = g, .client = 9})] = {
      "goods-balance stage", "no sale of the goods to this client on or before 12.03.2026, and no goods-balance "
                             "cost or purchase price before " + kBefore12};
  w.listed[db.returned({.date = mar(12), .goods = g, .price = 5, .client = 7})] = {
      "client sale", "the earlier sale to this client at this price has no cost yet"};
  w.listed[db.balance({.date = mar(12), .dept = 3, .goods = g})] = {
      "FIFO", "no stock layer with a cost on or before 12.03.2026 in this department"};
  const int returnWithCost = db.returned({.date = mar(12), .dept = 4, .goods = g, .cost = 4.0, .client = 7});
  w.listed[db.issue({.date = mar(12), .dept = 4, .goods = g})] = {
      "FIFO", "not priced yet: a stock layer with a cost from 12.03.2026 stands"};
  w.neverListed = {db.issue({.date = mar(12), .dept = 2, .goods = g, .cost = 3.0}), returnWithCost,
                   db.balance({.date = mar(12), .dept = 2, .goods = g, .cost = 3.0}),
                   db.transfer({.date = mar(12), .goods = g})};  // transfers in mode 0
  return w;
}

Written averageHistory(TestDatabase& db) {
  Written w;
  const int g = db.goods("Prece G");
  const int service = db.goods("Piegāde", 0, "T");
  db.receipt({.date = feb(20), .dept = 1, .goods = g, .qty = 4, .price = 2.5});
  // Priced without issues, transfers keep their services.
  w.listed[db.transfer({.date = mar(12), .from = 1, .goods = service})] = {
      "weighted average", "no costed inflow on or before 12.03.2026 in this department"};
  w.listed[db.transfer({.date = mar(12), .from = 2, .goods = g})] = {
      "weighted average", "no costed inflow on or before 12.03.2026 in this department"};
  w.listed[db.balance({.date = mar(12), .dept = 1, .goods = g})] = {"weighted average",
                                                                     "not priced yet: the next run gives it 2.50"};
  w.listed[db.returned({.date = mar(12), .goods = g, .fromWhat = 1})] = {"not processed",
                                                                         "a return of origin 1 is never priced here"};
  w.neverListed = {db.issue({.date = mar(12), .goods = g}),  // issues in mode 0
                   db.transfer({.date = mar(12), .from = 1, .to = 3, .goods = g, .cost = 2.5})};
  return w;
}

const std::map<std::string, int> kFifoSettings = {
    {"ParvietosanaChk", 0}, {"IzrakstisanaChk", 1}, {"AtgriesanaChk", 1}, {"AtlikumiChk", 1},
    {"PakalpojumusNe", 1},  {"IMEI", 1},            {"PedejaCena", 0},    {"ParvIzrakst1PardCena", 0}};
const std::map<std::string, int> kAverageSettings = {
    {"ParvietosanaChk", 1}, {"IzrakstisanaChk", 0}, {"AtgriesanaChk", 1}, {"AtlikumiChk", 2},
    {"PakalpojumusNe", 1},  {"IMEI", 0},            {"PedejaCena", 0},    {"ParvIzrakst1PardCena", 0}};

const HostRow kRows[] = {
    {"Fifo", 1, kFifoSettings, fifoHistory, "Still without cost: goods balances 1, issues 6, returns 3",
     "Vēl bez pašizmaksas: Preču atlikumi 1, Izrakstīšana 6, Atgriezšana 3"},
    {"WeightedAverage", 0, kAverageSettings, averageHistory,
     "Still without cost: goods balances 1, transfers 2, returns 1",
     "Vēl bez pašizmaksas: Preču atlikumi 1, Pārvietošana 2, Atgriezšana 1"},
};

struct Output {
  int exitCode = -1;
  std::vector<std::string> out;
  std::string err;
};

class UnpricedHostTest : public ::testing::TestWithParam<HostRow> {
 protected:
  void SetUp() override {
    db.setFifo(GetParam().fifo);
    written = GetParam().write(db);
    writeHostRegistry(registryPath, db.path(), mar(1), mar(31), GetParam().settings);
  }

  Output run(const std::vector<std::string>& arguments) {
    db.connection().close();  // one process at a time opens the embedded file
    HostRun host(registryPath, arguments, {.verbose = false});
    Output result;
    result.exitCode = host.finish(std::chrono::seconds(600));
    db.connection().open();
    std::istringstream lines(host.output());
    for (std::string line; std::getline(lines, line);) result.out.push_back(line);
    result.err = host.errors();
    return result;
  }

  // The report's records by line key, after checking the header and that no key comes twice.
  std::map<int, std::vector<std::string>> records(const std::string& csv) {
    const auto parsed = parseCsv(csv);
    std::map<int, std::vector<std::string>> byLine;
    if (parsed.empty()) return byLine;
    EXPECT_EQ(parsed[0], (std::vector<std::string>{"kind", "date", "department", "goods", "name", "quantity", "line",
                                                    "rule", "reason", "rule_lv", "reason_lv"}));
    for (std::size_t i = 1; i < parsed.size(); ++i) {
      EXPECT_EQ(parsed[i].size(), 11u) << "record " << i;
      if (parsed[i].size() != 11) continue;
      EXPECT_TRUE(byLine.emplace(std::stoi(parsed[i][6]), parsed[i]).second) << "line listed twice: " << parsed[i][6];
    }
    return byLine;
  }

  void expectListed(const std::map<int, std::vector<std::string>>& byLine) {
    EXPECT_EQ(byLine.size(), written.listed.size());
    for (const auto& [isn, listed] : written.listed) {
      const auto found = byLine.find(isn);
      if (found == byLine.end()) {
        ADD_FAILURE() << "line " << isn << " is not listed (" << listed.reason << ")";
        continue;
      }
      EXPECT_EQ(found->second[1], "12.03.2026");
      EXPECT_EQ(found->second[7], listed.rule) << "line " << isn;
      EXPECT_EQ(found->second[8], listed.reason) << "line " << isn;
    }
    for (const int isn : written.neverListed) EXPECT_EQ(byLine.count(isn), 0u) << "line " << isn;
  }

  TestDatabase db;
  std::string registryPath = db.dir().file("registry.reg");
  Written written;
};

TEST_P(UnpricedHostTest, ReportOnlyListsEachLineOnceWithItsReasonAndChangesNothing) {
  const std::string before = dumpEveryTable(db.connection());
  const std::string file = db.dir().file("unpriced.csv");
  const Output result = run({"--unpriced-only", file});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::string csv = readFile(file);
  EXPECT_EQ(csv.rfind(kUtf8Bom, 0), 0u) << "a CSV file starts with the byte-order mark";
  expectListed(records(csv));
  ASSERT_GE(result.out.size(), 2u);
  EXPECT_EQ(result.out.back(), GetParam().summary);
  EXPECT_EQ(result.out[result.out.size() - 2], GetParam().latvianSummary);
  EXPECT_EQ(dumpEveryTable(db.connection()), before) << "the report wrote to the database";
}

// The run prices what it can, and the report then lists what is left, as the count says: the
// lines it called "not priced yet" before are gone, every other stays with its reason.
TEST_P(UnpricedHostTest, ReportAfterTheRunGoesToStandardOutputBeforeTheCount) {
  const Output result = run({"--passes", "1", "--unpriced", "-"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  ASSERT_GE(result.out.size(), 2u);
  const std::string& summary = result.out.back();
  ASSERT_EQ(summary.rfind("Still without cost: ", 0), 0u) << summary;
  std::string csv;
  for (std::size_t i = 0; i + 2 < result.out.size(); ++i)  // the counts in Latvian and English last
    if (!csv.empty() || result.out[i].rfind("kind,date,", 0) == 0) csv += result.out[i] + "\n";
  ASSERT_FALSE(csv.empty()) << "no report after the run's lines";
  ASSERT_NE(result.out.front().rfind("kind,date,", 0), 0u) << "the run's lines come first";

  int counted = 0;
  std::istringstream numbers(summary.substr(summary.find(':') + 1));
  for (std::string word; numbers >> word;)
    if (std::isdigit(static_cast<unsigned char>(word[0]))) counted += std::stoi(word);
  const auto byLine = records(csv);
  EXPECT_EQ(static_cast<int>(byLine.size()), counted) << summary;
  // Exactly the lines the report said the run would price are gone.
  for (const auto& [isn, listed] : written.listed)
    EXPECT_EQ(byLine.count(isn), listed.reason.rfind("not priced yet", 0) == 0 ? 0u : 1u) << listed.reason;
  const std::map<std::string, std::function<double(int)>> costOf = {
      {"transfer", [this](int isn) { return db.transferCost(isn); }},
      {"issue", [this](int isn) { return db.issueCost(isn); }},
      {"return", [this](int isn) { return db.returnCost(isn); }},
      {"goods balance", [this](int isn) { return db.balanceCost(isn); }}};
  for (const auto& [isn, record] : byLine) {
    EXPECT_EQ(costOf.at(record[0])(isn), 0.0) << "line " << isn << " has a cost and is listed";
  }
}

TEST_P(UnpricedHostTest, AReportThatCannotBeWrittenFailsWithExitThreeAndLeavesNoFile) {
  const std::string file = db.dir().file("missing-folder/unpriced.csv");
  const Output result = run({"--unpriced-only", file});
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_NE(result.err.find(kCannotWriteReport + file), std::string::npos) << result.err;
  EXPECT_TRUE(readFile(file).empty());
  for (const std::string& line : result.out) EXPECT_EQ(line.rfind("Still without cost", 0), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Methods, UnpricedHostTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<HostRow>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace talvix::test
