// Each statement spelt at compile time names its kind's tables as the kind record has them: the
// header joined to its lines by the record's key, the period on the header's date, the department
// read from the header's column, the cost column tested and written on the line table.
#include "average/average_passes.h"
#include "average/transfers_issues_weighted.h"
#include "data/document_tables.h"
#include "fifo/fifo_passes.h"
#include "run/weighted_average_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace talvix {
namespace {

// What a statement takes from its kind's record.
enum Fact : unsigned {
  kJoin = 1,         // "<header>.ISN = <lines>.<key>"
  kBackJoin = 2,     // "<lines>.<key> = <header>.ISN"
  kTables = 4,       // "FROM <header>, <lines>, N_KLPREC"
  kDate = 8,         // "<header>.<date> "
  kDept = 16,        // "<header>.<dept>"
  kNoCost = 32,      // "(<lines>.<cost>=0.00 "
  kWritesCost = 64,  // starts "UPDATE <lines> SET <cost>"
  kSelectsIsn = 128  // starts "SELECT <lines>.ISN"
};
constexpr unsigned kLinesWithoutCost = kJoin | kTables | kDate | kDept | kNoCost;
constexpr unsigned kResetSelect = kJoin | kTables | kDate | kSelectsIsn;

struct KindStatement {
  std::string name;
  DocumentKind kind;
  std::string text;
  unsigned facts;
};

std::vector<KindStatement> statements() {
  std::vector<KindStatement> rows;
  for (const DocumentKindRow& step : kDocumentKinds) {
    rows.push_back({"fifo select", step.kind, step.fifo.select, kLinesWithoutCost});
    rows.push_back({"fifo update", step.kind, step.fifo.update, kWritesCost});
    rows.push_back({"fifo reset", step.fifoHow.reset.kind, step.fifoHow.reset.selectSql, kResetSelect});
  }
  std::vector<AverageStepSql> averageSteps = {kTransfersIssuesSql.transfers, kTransfersIssuesSql.issues};
  for (const DocumentKindRow& row : kDocumentKinds) {
    const KindReset& reset = row.averageHow.reset;
    if (reset.selectSql) rows.push_back({"average reset", reset.kind, reset.selectSql, kResetSelect});
    if (row.average.select)
      averageSteps.push_back({row.kind, row.average.select, row.average.order, row.average.update});
  }
  for (const AverageStepSql& step : averageSteps) {
    rows.push_back({"average select", step.kind, step.select, kLinesWithoutCost});
    rows.push_back({"average update", step.kind, step.update, kWritesCost});
  }
  // Stock-ins from transfers (into the receiving department) and from returns.
  for (const DocumentKind kind : {DocumentKind::Transfer, DocumentKind::Return})
    rows.push_back({"stock-in date", kind, kTransfersIssuesSql.stockIn, kBackJoin | kDate});
  return rows;
}

TEST(KindStatements, EveryStatementNamesItsKindsTables) {
  for (const KindStatement& row : statements()) {
    const DocumentTables& t = tablesOf(row.kind);
    SCOPED_TRACE(row.name + " of " + t.lines);
    const std::string header = t.header, lines = t.lines, text = row.text;
    const auto has = [&](const std::string& part) { return text.find(part) != std::string::npos; };
    const auto startsWith = [&](const std::string& part) { return text.rfind(part, 0) == 0; };
    const auto expect = [&](unsigned fact, bool holds) {
      if (row.facts & fact) {
        EXPECT_TRUE(holds) << "fact " << fact << " in: " << text;
      }
    };
    expect(kJoin, has(header + ".ISN = " + lines + "." + t.headerKey));
    expect(kBackJoin, has(lines + "." + t.headerKey + " = " + header + ".ISN"));
    expect(kTables, has("FROM " + header + ", " + lines + ", N_KLPREC"));
    expect(kDate, has(header + "." + t.date + " "));
    expect(kDept, has(header + "." + t.dept));
    expect(kNoCost, has("(" + lines + "." + t.cost + "=0.00 "));
    expect(kWritesCost, startsWith("UPDATE " + lines + " SET " + t.cost));
    expect(kSelectsIsn, startsWith("SELECT " + lines + ".ISN"));
  }
}

TEST(KindStatements, EachRowsResetsAreItsOwnKinds) {
  for (const DocumentKindRow& row : kDocumentKinds) {
    SCOPED_TRACE(row.tables.lines);
    EXPECT_EQ(row.fifoHow.reset.kind, row.kind);
    if (row.averageHow.reset.selectSql) {
      EXPECT_EQ(row.averageHow.reset.kind, row.kind);
    }
  }
}

TEST(KindStatements, TheRecordsAreIndexedByKind) {
  for (const DocumentKind kind :
       {DocumentKind::Transfer, DocumentKind::Issue, DocumentKind::Return, DocumentKind::Balance})
    EXPECT_EQ(tablesOf(kind).kind, kind);
}

}  // namespace
}  // namespace talvix
