// Every statement the tool runs must prepare against db/schema.sql, both with and without the
// services filter spliced in where the code splices it. Each is taken from the code that runs it.
#include "average/average_passes.h"
#include "average/transfers_issues_weighted.h"
#include "data/query.h"
#include "fifo/day_quantities.h"
#include "fifo/fifo_passes.h"
#include "report/line_selects.h"
#include "run/dispatcher.h"
#include "run/weighted_average_run.h"
#include "step/line_reset.h"
#include "step/price_lookups.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace talvix {
namespace {

constexpr const char* kFilter = kServicesFilterText;

// The statement with the services filter given, or none.
using Text = std::function<std::string(const std::string& filter)>;

struct StatementRow {
  std::string name;
  Text text;
};

// The pieces in order, the filter where kFilter stands.
Text pieces(std::vector<const char*> parts) {
  return [parts](const std::string& filter) {
    std::string text;
    for (const char* part : parts) text += part == kFilter ? filter : std::string(part);
    return text;
  };
}

// The step's reset as it runs: its select then the update of each line, or the one statement.
std::vector<StatementRow> resetRows(const std::string& name, const KindReset& reset) {
  if (reset.oneStatement)
    return {{name, [&reset](const std::string& filter) { return oneStatementResetSql(reset, filter); }}};
  return {{name + " select", pieces({reset.selectSql, kFilter})},
          {name + " update", [&reset](const std::string&) { return lineResetSql(reset.kind); }}};
}

std::vector<StatementRow> fifoRows(const std::string& name, const DocumentKindRow& step) {
  std::vector<StatementRow> rows = resetRows(name + " fifo reset", step.fifoHow.reset);
  rows.push_back({name + " fifo select", pieces({step.fifo.select, kFilter, step.fifo.order})});
  rows.push_back({name + " update", pieces({step.fifo.update})});
  return rows;
}

std::vector<StatementRow> statements() {
  // The goods-balance check of the ledger's stock figure, copied: its statement is not reachable.
  std::vector<StatementRow> rows = {
      {"method", pieces({kMethodSql})},
      {"outflow table", dayOutflowSql},
      {"balance table", dayBalanceSql},
      {"balance-document check",
       pieces(
           {R"sql(SELECT O_PRATL_PAV.ISN FROM O_PRATL_PAV, O_PRATL_PRC WHERE O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV AND O_PRATL_PAV.DATUMS=:DATUMS AND O_PRATL_PAV.ISNODALA = :ISDEPART AND O_PRATL_PRC.ISPRECE = :ISPRECE AND (O_PRATL_PAV.NEAPSTIPR != 'T' OR O_PRATL_PAV.NEAPSTIPR IS NULL OR O_PRATL_PAV.NEAPSTIPR=''))sql"})},
      {"serial receipt price", pieces({kSerialReceiptSql})},
      {"client sale cost", pieces({kEarliestClientSalesSql})},
      {"latest balance cost", pieces({kLatestBalanceCostSql})},
      {"returns sales", pieces({kClientSalesSql})},
      {"latest receipt price", pieces({kLatestReceiptSql})},
      {"transfers average select",
       pieces({kindRow(DocumentKind::Transfer).average.select, kindRow(DocumentKind::Transfer).average.order})},
      {"transfers average update", pieces({kindRow(DocumentKind::Transfer).average.update})},
      {"stock-in date", pieces({kTransfersIssuesSql.stockIn})},
      {"transfers and issues select",
       pieces({kTransfersIssuesSql.transfers.select, kFilter, kTransfersIssuesSql.issues.select, kFilter,
               kTransfersIssuesSql.issues.order})},
      {"transfers and issues transfer update", pieces({kTransfersIssuesSql.transfers.update})},
      {"transfers and issues issue update", pieces({kTransfersIssuesSql.issues.update})},
      {"issues average select",
       pieces({kindRow(DocumentKind::Issue).average.select, kFilter, kindRow(DocumentKind::Issue).average.order})},
      {"issues average update", pieces({kindRow(DocumentKind::Issue).average.update})},
      {"balances average select", pieces({kindRow(DocumentKind::Balance).average.select, kFilter})},
      {"balances average update", pieces({kindRow(DocumentKind::Balance).average.update})},
      {"issue date", [](const std::string&) { return lineDateSql(DocumentKind::Issue); }},
  };
  for (const DocumentKindRow& step : kDocumentKinds) {
    const std::string name = step.names.option;
    for (StatementRow& row : fifoRows(name, step)) rows.push_back(std::move(row));
    const DocumentKind kind = step.kind;
    rows.push_back(
        {std::string(name) + " unpriced lines", [kind](const std::string&) { return unpricedLinesSql(kind); }});
    rows.push_back({std::string(name) + " line by key", [kind](const std::string&) { return lineByKeySql(kind); }});
    if (const KindReset& reset = kindRow(kind).averageHow.reset; reset.selectSql)
      for (StatementRow& row : resetRows(std::string("average reset ") + name, reset)) rows.push_back(std::move(row));
  }
  return rows;
}

TEST(StatementTexts, EveryTextPreparesAndRunsWithAndWithoutTheServicesFilter) {
  test::TestDatabase db;
  db.goods();
  for (const StatementRow& row : statements()) {
    for (bool withFilter : {false, true}) {
      SCOPED_TRACE(row.name + (withFilter ? " (filtered)" : ""));
      Query query(db.connection());
      const std::string text = row.text(withFilter ? kFilter : "");
      query.setSql(text);
      // Bind every parameter the tool binds, with the tool's types, and run the text for real.
      for (const char* name : {"DAT_NO", "DAT_LIDZ", "DATUMS", "DATUMSNO"})
        if (query.hasParameter(name)) query.setDateTime(name, makeDate(2026, 3, 1));
      for (const char* name : {"ISN", "ISPRECE", "ISNODALA", "ISKLIENT", "ISSERTIF", "ISDEPART"})
        if (query.hasParameter(name)) query.setInteger(name, 1);
      for (const char* name : {"CENA", "IEP_CENA"})
        if (query.hasParameter(name)) query.setDouble(name, 1.5);
      EXPECT_NO_THROW(query.execSql());
    }
  }
}

}  // namespace
}  // namespace talvix
