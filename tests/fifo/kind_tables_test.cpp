// Each FIFO step's statements name its kind's tables as the kind record has them: the header joined
// to its lines by the record's key, the period on the header's date, the cost column selected,
// tested and written on the line table.
#include "data/document_tables.h"
#include "fifo/balances_fifo.h"
#include "fifo/issues_fifo.h"
#include "fifo/returns.h"
#include "fifo/transfers_fifo.h"

#include <gtest/gtest.h>

#include <string>

namespace talvix {
namespace {

const FifoStep* const kSteps[] = {&kTransfersFifoStep, &kIssuesFifoStep, &kReturnsStep, &kBalancesFifoStep};

TEST(KindTables, EveryFifoStatementNamesItsKindsTables) {
  for (const FifoStep* step : kSteps) {
    const DocumentTables& t = tablesOf(step->kind);
    SCOPED_TRACE(t.lines);
    const std::string header = t.header, lines = t.lines;
    const std::string join = header + ".ISN = " + lines + "." + t.headerKey;
    const std::string select = step->selectSql;
    EXPECT_NE(select.find(join), std::string::npos);
    EXPECT_NE(select.find("FROM " + header + ", " + lines + ", N_KLPREC"), std::string::npos);
    EXPECT_NE(select.find(header + "." + t.date + " "), std::string::npos);
    EXPECT_NE(select.find("(" + lines + "." + t.cost + "=0.00 "), std::string::npos);
    EXPECT_EQ(step->costParameter, std::string(t.cost));
    EXPECT_EQ(std::string(step->updateSql).rfind("UPDATE " + lines + " SET " + t.cost, 0), 0u);
    EXPECT_NE(std::string(step->reset.sql).find(join), std::string::npos);
    if (step->reset.lineUpdateSql)
      EXPECT_EQ(std::string(step->reset.lineUpdateSql).rfind("UPDATE " + lines + " SET " + lines + "." + t.cost, 0), 0u);
    else
      EXPECT_EQ(std::string(step->reset.sql).rfind("UPDATE " + lines + " SET " + lines + "." + t.cost, 0), 0u);
  }
}

TEST(KindTables, TheRecordsAreIndexedByKind) {
  for (const DocumentKind kind :
       {DocumentKind::Transfer, DocumentKind::Issue, DocumentKind::Return, DocumentKind::Balance})
    EXPECT_EQ(tablesOf(kind).kind, kind);
}

}  // namespace
}  // namespace talvix
