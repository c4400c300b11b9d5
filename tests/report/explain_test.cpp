// --explain on a seeded history right after a real run through the host, under each method: every
// line's "would write" is the cost the run wrote, to the 15 digits a person reads, and a preview
// lists no line; a FIFO line's layers add up to it
// and take exactly the outflow priced together, the day's outflow of the goods from the department
// or, when that nets to nothing, the line's own; a weighted-average line's last movement ends on it. The host prints
// what the library explains and refuses an unknown kind or key with exit 2.
#include "data/query.h"
#include "pricing/library.h"
#include "registry/memory_registry_store.h"
#include "report/line_explain.h"
#include "support/host_registry.h"
#include "support/host_run.h"
#include "support/recording_log.h"
#include "support/temp_dir.h"
#include "tools/demo/demo_history.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <ostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace talvix::test {
namespace {

struct MethodRow {
  const char* name;
  int fifo;  // ISIFIFO
};

void PrintTo(const MethodRow& row, std::ostream* out) { *out << row.name; }

const MethodRow kMethods[] = {{"Fifo", 1}, {"WeightedAverage", 0}};

// (kind, line key) -> the cost the run wrote, for the two kinds a FIFO layer prices.
struct Written {
  DocumentKind kind;
  int isn;
  double cost;
  double quantity;
  double dayOutflow;  // the goods' transfers out and issues from the line's department that day
};

constexpr const char* kWrittenSql[] = {
    "SELECT L.ISN, L.CENA, L.DAUDZUMS, (SELECT SUM(P.DAUDZUMS) FROM O_PARPRC P JOIN O_PARPAV PH ON PH.ISN = "
    "P.ISPARVPAV WHERE "
    "P.ISPRECE = L.ISPRECE AND PH.ISNODALANO = H.ISNODALANO AND PH.DATUMS = H.DATUMS) T, (SELECT SUM(I.DAUDZUMS) "
    "FROM O_PRCOUT I JOIN O_PAVOUT IH ON IH.ISN = I.ISPAVOUT WHERE I.ISPRECE = L.ISPRECE AND IH.ISNODALA = "
    "H.ISNODALANO AND IH.DATUMS = H.DATUMS) I FROM O_PARPRC L JOIN O_PARPAV H ON H.ISN = L.ISPARVPAV",
    "SELECT L.ISN, L.IEP_CENA, L.DAUDZUMS, (SELECT SUM(P.DAUDZUMS) FROM O_PARPRC P JOIN O_PARPAV PH ON PH.ISN = "
    "P.ISPARVPAV "
    "WHERE P.ISPRECE = L.ISPRECE AND PH.ISNODALANO = H.ISNODALA AND PH.DATUMS = H.DATUMS) T, (SELECT "
    "SUM(I.DAUDZUMS) FROM O_PRCOUT I JOIN O_PAVOUT IH ON IH.ISN = I.ISPAVOUT WHERE I.ISPRECE = L.ISPRECE AND "
    "IH.ISNODALA = H.ISNODALA AND IH.DATUMS = H.DATUMS) I FROM O_PRCOUT L JOIN O_PAVOUT H ON H.ISN = L.ISPAVOUT"};

double number(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

class ExplainTest : public ::testing::TestWithParam<MethodRow> {
 protected:
  void SetUp() override {
    demo::HistoryShape shape;
    shape.goods = 25;
    shape.departments = 3;
    shape.days = 40;
    shape.lines = 1200;
    shape.lastDay = makeDate(2026, 3, 31);
    shape.fifoMethod = GetParam().fifo;
    demo::makeDemoDatabase(database, shape);
    {
      Connection c;
      c.setDatabaseName(database);
      c.open();
      c.executeImmediate("DELETE FROM N_BLOKDIENAS");
      c.defaultTransaction().commit();
    }
    settings.dateFrom = shape.lastDay - shape.days + 1;
    settings.dateTo = shape.lastDay;
    settings.transfers = settings.issues = settings.returns = settings.balances = kAllAnew;
    writeHostRegistry(registry, database, settings.dateFrom, settings.dateTo,
                      {{"PedejaCena", 0},
                       {"ParvIzrakst1PardCena", 0},
                       {"PakalpojumusNe", 0},
                       {"IMEI", 0},
                       {"ParvietosanaChk", kAllAnew},
                       {"IzrakstisanaChk", kAllAnew},
                       {"AtgriesanaChk", kAllAnew},
                       {"AtlikumiChk", kAllAnew}});
    runHost();
    library->mainFormDati().PRECES_DB.setDatabaseName(database);
    library->mainFormDati().connect();
  }

  void runHost() {
    HostRun run(registry, {}, {.verbose = false, .program = {}});
    ASSERT_EQ(run.finish(std::chrono::seconds(600)), 0) << run.errors();
  }

  std::vector<Written> written() {
    std::vector<Written> lines;
    for (const DocumentKind kind : {DocumentKind::Transfer, DocumentKind::Issue}) {
      Query q(library->mainFormDati().PRECES_DB);
      q.setSql(kWrittenSql[static_cast<int>(kind)]);
      q.open();
      for (q.first(); !q.eof(); q.next())
        lines.push_back({kind, q.asInteger(0), q.asDouble(1), q.asDouble(2), q.asDouble(3) + q.asDouble(4)});
    }
    return lines;
  }

  std::string explain(DocumentKind kind, int isn) {
    RunContext ctx{settings, *library, log, memoryRegistry, sleeper, state};
    return explainLine(ctx, GetParam().fifo == 1, kind, isn);
  }

  TempDir dir;
  std::string database = dir.file("explain.fdb"), registry = dir.file("registry.reg");
  RunSettings settings;
  std::unique_ptr<PricingLibrary> library = pricing::MainFormDatiDll();
  QuietLog log;
  MemoryRegistryStore memoryRegistry;
  ThreadSleeper sleeper;
  SessionState state;
};

const std::regex kLayer(R"(: took (\S+) of \S+ at (\S+), weighted (\S+)\n)");
const std::regex kOutflow(R"(Outflow priced together: (\S+) )");
const std::regex kWouldWrite(R"(\nWould write (\S+); holds)");
const std::regex kLastAverage(R"(, average (\S+)\n(?!    ))");

// What a person reads of a number, and what the explanation prints: its first 15 significant digits.
double fifteenDigits(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", value);
  return std::strtod(text, nullptr);
}

// Layers summed from their printed costs, each rounded to 15 digits.
constexpr double kPrintedRounding = 1e-13;

TEST_P(ExplainTest, EveryLineExplainsTheCostTheRunWroteToFifteenDigitsAndAPreviewListsNothing) {
  const std::vector<Written> lines = written();
  std::vector<std::string> texts;
  for (const Written& line : lines) texts.push_back(explain(line.kind, line.isn));
  library->mainFormDati().PRECES_DB.close();  // one process at a time opens the embedded file
  HostRun preview(registry, {"--preview", "-"}, {.verbose = false, .program = {}});
  ASSERT_EQ(preview.finish(std::chrono::seconds(600)), 0) << preview.errors();
  library->mainFormDati().connect();
  // The progress log, the header, then at once the sums: no line would change.
  const std::string& printed = preview.output();
  const std::size_t header = printed.find("kind,date,department,goods,name,quantity,line,cost_now,cost_after,");
  ASSERT_NE(header, std::string::npos) << printed;
  EXPECT_EQ(printed.find("\nMainītu: Preču atlikumi 0 rindas", header), printed.find('\n', header)) << printed;
  EXPECT_NE(printed.find("\nWould change: goods balances 0 lines", header), std::string::npos) << printed;
  int fifoLines = 0, averageLines = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Written& line = lines[i];
    const std::string& text = texts[i];
    SCOPED_TRACE(std::to_string(line.isn));
    std::smatch found;
    ASSERT_TRUE(std::regex_search(text, found, kWouldWrite)) << text;
    EXPECT_EQ(number(found[1]), fifteenDigits(line.cost)) << text;
    if (text.find("rule: FIFO\n") != std::string::npos && std::regex_search(text, found, kOutflow)) {
      ++fifoLines;
      const double outflow = number(found[1]);
      EXPECT_EQ(outflow, line.dayOutflow > 0 ? line.dayOutflow : line.quantity) << text;
      double weighted = 0.0, taken = 0.0;
      for (auto at = std::sregex_iterator(text.begin(), text.end(), kLayer); at != std::sregex_iterator(); ++at) {
        weighted += number((*at)[2]) * (number((*at)[1]) / outflow);
        taken += number((*at)[1]);
        EXPECT_NEAR(number((*at)[3]), weighted, kPrintedRounding * weighted) << text;
      }
      EXPECT_NEAR(weighted, line.cost, kPrintedRounding * line.cost) << text;
      EXPECT_EQ(taken, outflow) << text;
    }
    if (text.find("rule: weighted average\n") != std::string::npos && std::regex_search(text, found, kLastAverage)) {
      ++averageLines;
      EXPECT_EQ(number(found[1]), fifteenDigits(line.cost)) << text;
    }
  }
  EXPECT_GT(GetParam().fifo == 1 ? fifoLines : averageLines, 300) << "too few lines priced by the method";
}

struct HostRow {
  const char* name;
  const char* kind;
  const char* table;  // the line: the first of this table with a cost; "" for a key no line has
  int exitCode;
  const char* error;
};

const HostRow kHostRows[] = {
    {"Transfer", "transfer", "O_PARPRC", 0, ""},
    {"Issue", "issue", "O_PRCOUT", 0, ""},
    {"Return", "return", "O_ATGPRC", 0, ""},
    {"Balance", "balance", "O_PRATL_PRC", 0, ""},
    {"UnknownKey", "issue", "", 2, "no issue line has the key -7"},
    {"UnknownKind", "sale", "O_PRCOUT", 2, "--explain takes KIND:LINE"},
};

TEST_P(ExplainTest, HostPrintsTheLibrarysExplanationOrRefusesWithExitTwo) {
  for (const HostRow& row : kHostRows) {
    SCOPED_TRACE(row.name);
    int isn = -7;
    if (*row.table) {
      Query q(library->mainFormDati().PRECES_DB);
      q.setSql(std::string("SELECT MIN(ISN) FROM ") + row.table);
      q.open();
      isn = q.asInteger(0);
    }
    library->mainFormDati().PRECES_DB.close();  // one process at a time opens the embedded file
    HostRun run(registry, {"--explain", std::string(row.kind) + ":" + std::to_string(isn)},
                {.verbose = false, .program = {}});
    EXPECT_EQ(run.finish(std::chrono::seconds(120)), row.exitCode) << run.errors();
    library->mainFormDati().connect();
    if (row.exitCode != 0) {
      EXPECT_NE(run.errors().find(row.error), std::string::npos) << run.errors();
      EXPECT_EQ(run.output(), "");
      continue;
    }
    const std::map<std::string, DocumentKind> kinds = {{"transfer", DocumentKind::Transfer},
                                                       {"issue", DocumentKind::Issue},
                                                       {"return", DocumentKind::Return},
                                                       {"balance", DocumentKind::Balance}};
    EXPECT_EQ(run.output(), explain(kinds.at(row.kind), isn));
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, ExplainTest, ::testing::ValuesIn(kMethods),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace talvix::test
