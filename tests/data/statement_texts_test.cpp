// Every statement the tool runs must prepare against db/schema.sql, both with and without the
// services filter spliced in where the steps splice it. Statements the code names are taken from it.
#include "data/query.h"
#include "fifo/balances_fifo.h"
#include "fifo/issues_fifo.h"
#include "fifo/returns.h"
#include "fifo/transfers_fifo.h"
#include "step/price_lookups.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace talvix {
namespace {

constexpr const char* kFilter = kServicesFilterText;

struct StatementRow {
  const char* name;
  std::vector<const char*> pieces;  // kFilter marks where the services filter goes
};

const std::vector<StatementRow> kStatements = {
    {"method", {R"sql(SELECT ISIFIFO FROM N_ISI)sql"}},
    {"outflow table", {R"sql(SELECT O_PARPRC.ISPRECE, O_PARPAV.ISNODALANO ISNODALA, O_PARPAV.DATUMS, SUM(O_PARPRC.DAUDZUMS) DAUDZUMS, 1 FLAG FROM O_PARPAV, O_PARPRC, N_KLPREC WHERE O_PARPAV.ISN = O_PARPRC.ISPARVPAV AND O_PARPRC.ISPRECE = N_KLPREC.ISN AND O_PARPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ )sql",
      kFilter,
      R"sql( GROUP BY ISPRECE, ISNODALANO, DATUMS UNION SELECT O_PRCOUT.ISPRECE, O_PAVOUT.ISNODALA, O_PAVOUT.DATUMS, SUM(O_PRCOUT.DAUDZUMS) DAUDZUMS, 2 FLAG FROM O_PAVOUT, O_PRCOUT, N_KLPREC WHERE O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT AND O_PRCOUT.ISPRECE = N_KLPREC.ISN AND O_PAVOUT.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ )sql",
      kFilter,
      R"sql( GROUP BY ISPRECE, ISNODALA, DATUMS ORDER BY 1,2,3 )sql"}},
    {"balance table", {R"sql(SELECT O_PRATL_PRC.ISPRECE, O_PRATL_PAV.ISNODALA, O_PRATL_PAV.DATUMS, SUM(O_PRATL_PRC.DAUDZUMS) DAUDZUMS, 3 FLAG FROM O_PRATL_PAV, O_PRATL_PRC, N_KLPREC WHERE O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV AND O_PRATL_PRC.ISPRECE = N_KLPREC.ISN AND O_PRATL_PAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ )sql",
      kFilter,
      R"sql( GROUP BY ISPRECE, ISNODALA, DATUMS ORDER BY 1,2,3 )sql"}},
    {"balance-document check", {R"sql(SELECT O_PRATL_PAV.ISN FROM O_PRATL_PAV, O_PRATL_PRC WHERE O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV AND O_PRATL_PAV.DATUMS=:DATUMS AND O_PRATL_PAV.ISNODALA = :ISDEPART AND O_PRATL_PRC.ISPRECE = :ISPRECE AND (O_PRATL_PAV.NEAPSTIPR != 'T' OR O_PRATL_PAV.NEAPSTIPR IS NULL OR O_PRATL_PAV.NEAPSTIPR=''))sql"}},
    {"transfers fifo select", {kTransfersFifoStep.selectSql, kFilter, kTransfersFifoStep.selectOrder}},
    {"transfers fifo reset select", {kTransfersFifoStep.reset.sql, kFilter}},
    {"transfers reset update", {kTransfersFifoStep.reset.lineUpdateSql}},
    {"transfers update", {kTransfersFifoStep.updateSql}},
    {"issues fifo reset select", {kIssuesFifoStep.reset.sql, kFilter}},
    {"issues reset update", {kIssuesFifoStep.reset.lineUpdateSql}},
    {"issues fifo select", {kIssuesFifoStep.selectSql, kFilter, kIssuesFifoStep.selectOrder}},
    {"issues update", {kIssuesFifoStep.updateSql}},
    {"serial receipt price", {kSerialReceiptSql}},
    {"client sale cost", {kEarliestClientSalesSql}},
    {"latest balance cost", {kLatestBalanceCostSql}},
    {"returns reset", {kReturnsStep.reset.sql, kFilter, kOneStatementResetEnd}},
    {"returns select", {kReturnsStep.selectSql, kFilter, kReturnsStep.selectOrder}},
    {"returns update", {kReturnsStep.updateSql}},
    {"returns sales", {kClientSalesSql}},
    {"latest receipt price", {kLatestReceiptSql}},
    {"balances fifo reset", {kBalancesFifoStep.reset.sql, kFilter, kOneStatementResetEnd}},
    {"balances fifo select", {kBalancesFifoStep.selectSql, kFilter, kBalancesFifoStep.selectOrder}},
    {"balances update", {kBalancesFifoStep.updateSql}},
    {"average reset balances", {R"sql(UPDATE O_PRATL_PRC SET O_PRATL_PRC.IEP_CENA=0.0 WHERE ISN IN (SELECT O_PRATL_PRC.ISN            FROM O_PRATL_PAV, O_PRATL_PRC, N_KLPREC           WHERE O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV             AND O_PRATL_PRC.ISPRECE = N_KLPREC.ISN             AND O_PRATL_PAV.DATUMS >=:DAT_NO             AND O_PRATL_PAV.DATUMS <=:DAT_LIDZ )sql",
      kFilter,
      R"sql() )sql"}},
    {"average reset transfers", {R"sql(SELECT O_PARPRC.ISN            FROM O_PARPAV, O_PARPRC, N_KLPREC           WHERE O_PARPAV.ISN = O_PARPRC.ISPARVPAV             AND O_PARPRC.ISPRECE = N_KLPREC.ISN             AND O_PARPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ )sql",
      kFilter}},
    {"average reset issues", {R"sql(SELECT O_PRCOUT.ISN            FROM O_PAVOUT, O_PRCOUT, N_KLPREC           WHERE O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT             AND O_PRCOUT.ISPRECE = N_KLPREC.ISN             AND O_PAVOUT.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ )sql",
      kFilter}},
    {"transfers average select", {R"sql(SELECT O_PARPRC.CENA, O_PARPAV.DATUMS,         O_PARPAV.ISNODALANO ISNODALA, O_PARPRC.ISPRECE,         O_PARPRC.DAUDZUMS, O_PARPRC.ISN, O_PARPRC.NODOKLIS        FROM O_PARPAV, O_PARPRC, N_KLPREC        WHERE O_PARPAV.ISN = O_PARPRC.ISPARVPAV          AND O_PARPRC.ISPRECE = N_KLPREC.ISN          AND O_PARPAV.DATUMS >=:DAT_NO          AND O_PARPAV.DATUMS <=:DAT_LIDZ          AND (O_PARPRC.CENA=0.00 or O_PARPRC.CENA IS NULL) )sql",
      R"sql( ORDER BY O_PARPAV.DATUMS, O_PARPRC.ISN )sql"}},
    {"stock-in date", {R"sql(SELECT O_PAVADZ.DAT_SANEM DATUMS                 FROM O_PRECE, O_PAVADZ                WHERE O_prece.ISPAVADZ = O_pavadz.ISN                 AND O_PAVADZ.ISNODALA = :ISNODALA                 AND O_PRECE.ISPRECE = :ISPRECE                 AND O_PAVADZ.DAT_SANEM > :DATUMSNO                 UNION                SELECT O_PARPAV.DATUMS                   FROM O_PARPRC, O_PARPAV                  WHERE O_PARPRC.ISPARVPAV = O_PARPAV.ISN                   AND O_PARPAV.ISNODALAUZ = :ISNODALA                   AND O_PARPRC.ISPRECE = :ISPRECE                   AND O_PARPAV.DATUMS > :DATUMSNO                    AND O_PARPRC.CENA > 0                 UNION                SELECT O_ATGPAV.DATUMS                   FROM O_ATGPRC, O_ATGPAV                  WHERE O_ATGPRC.ISATGPAV = O_ATGPAV.ISN                   AND O_ATGPAV.ISNODALA = :ISNODALA                   AND O_ATGPRC.ISPRECE = :ISPRECE                   AND O_ATGPAV.DATUMS > :DATUMSNO                    AND O_ATGPRC.IEP_CENA > 0                    AND O_ATGPAV.FROM_WHAT = 2                 order by 1)sql"}},
    {"transfers and issues select", {R"sql(SELECT O_PARPAV.DATUMS, O_PARPRC.CENA,         O_PARPAV.ISNODALANO ISNODALA, O_PARPRC.ISPRECE,         O_PARPRC.DAUDZUMS, O_PARPRC.ISN, 1 FLAG        FROM O_PARPAV, O_PARPRC, N_KLPREC        WHERE O_PARPAV.ISN = O_PARPRC.ISPARVPAV          AND O_PARPRC.ISPRECE = N_KLPREC.ISN          AND O_PARPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ          AND (O_PARPRC.CENA=0.00 or O_PARPRC.CENA IS NULL) )sql",
      kFilter,
      R"sql( UNION SELECT O_PAVOUT.DATUMS, O_PRCOUT.IEP_CENA,            O_PAVOUT.ISNODALA, O_PRCOUT.ISPRECE,            O_PRCOUT.DAUDZUMS, O_PRCOUT.ISN, 2 FLAG           FROM O_PAVOUT, O_PRCOUT, N_KLPREC           WHERE O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT             AND O_PRCOUT.ISPRECE = N_KLPREC.ISN             AND O_PAVOUT.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ             AND (O_PRCOUT.IEP_CENA=0.00 OR O_PRCOUT.IEP_CENA IS NULL) )sql",
      kFilter,
      R"sql( ORDER BY 1, 7, 4, 3 )sql"}},
    {"transfers and issues issue update", {R"sql(UPDATE O_PRCOUT SET IEP_CENA=:CENA WHERE ISN=:ISN)sql"}},
    {"issues average select", {R"sql(SELECT O_PRCOUT.IEP_CENA, O_PAVOUT.DATUMS,            O_PAVOUT.ISNODALA, O_PRCOUT.ISPRECE,            O_PRCOUT.DAUDZUMS, O_PRCOUT.ISN           FROM O_PAVOUT, O_PRCOUT, N_KLPREC           WHERE O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT             AND O_PRCOUT.ISPRECE = N_KLPREC.ISN             AND O_PAVOUT.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ             AND (O_PRCOUT.IEP_CENA=0.00 OR O_PRCOUT.IEP_CENA IS NULL) )sql",
      kFilter,
      R"sql( ORDER BY DATUMS )sql"}},
    {"balances average select", {R"sql(SELECT O_PRATL_PRC.IEP_CENA, O_PRATL_PAV.DATUMS,            O_PRATL_PAV.ISNODALA, O_PRATL_PRC.ISPRECE,            O_PRATL_PRC.DAUDZUMS, O_PRATL_PRC.ISN           FROM O_PRATL_PAV, O_PRATL_PRC, N_KLPREC           WHERE O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV             AND O_PRATL_PRC.ISPRECE = N_KLPREC.ISN             AND O_PRATL_PAV.DATUMS >=:DAT_NO             AND O_PRATL_PAV.DATUMS <=:DAT_LIDZ             AND (O_PRATL_PRC.IEP_CENA=0.00 OR O_PRATL_PRC.IEP_CENA IS NULL) )sql",
      kFilter}},
};

std::string assemble(const StatementRow& row, bool withFilter) {
  std::string text;
  for (const char* piece : row.pieces) {
    if (piece == kFilter) {
      if (withFilter) text += kFilter;
    } else {
      text += piece;
    }
  }
  return text;
}

TEST(StatementTexts, EveryTextPreparesAndRunsWithAndWithoutTheServicesFilter) {
  test::TestDatabase db;
  db.goods();
  for (const StatementRow& row : kStatements) {
    for (bool withFilter : {false, true}) {
      SCOPED_TRACE(std::string(row.name) + (withFilter ? " (filtered)" : ""));
      Query query(db.connection());
      const std::string text = assemble(row, withFilter);
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
