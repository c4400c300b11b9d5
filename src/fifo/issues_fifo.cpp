#include "fifo/issues_fifo.h"

#include "fifo/fifo_rules.h"
#include "fifo/rule_pricer.h"

namespace talvix {

constexpr FifoStep kIssuesFifoStep{
    .kind = DocumentKind::Issue,
    .heading = "Aprēķinu izrakstīšanu ...",
    .blankLineAfterHeading = true,
    .operationLabel = "AUTO IEP.SAD.",
    .operationKey = "IZR=",
    .reset = {.kind = DocumentKind::Issue,
              .selectSql =
                  "SELECT O_PRCOUT.ISN FROM O_PAVOUT, O_PRCOUT, N_KLPREC WHERE O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT "
                  "AND O_PRCOUT.ISPRECE = N_KLPREC.ISN AND O_PAVOUT.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ",
              .oneStatement = false,
              .firstCounter = 0,
              .repaintEachLine = true,
              .stopAfterOneStatement = false},
    .selectSql =
        "SELECT O_PRCOUT.IEP_CENA, O_PAVOUT.DATUMS, O_PAVOUT.ISNODALA, O_PRCOUT.ISPRECE, O_PRCOUT.DAUDZUMS, "
        "O_PRCOUT.ISN, O_PRCOUT.NODOKLIS, O_PAVOUT.ISKLIENT, O_PRCOUT.CENA, O_PRCOUT.PIECENOJ, "
        "O_PRCOUT.ISSERTIF FROM O_PAVOUT, O_PRCOUT, N_KLPREC WHERE O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT AND "
        "O_PRCOUT.ISPRECE = N_KLPREC.ISN AND O_PAVOUT.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ AND "
        "(O_PRCOUT.IEP_CENA=0.00 OR O_PRCOUT.IEP_CENA IS NULL) ",
    // The largest quantity of a date, department and goods first: it calls the library, and a
    // negative line's client-sale look-up finds the costs written before it.
    .selectOrder = " ORDER BY O_PAVOUT.DATUMS, O_PAVOUT.ISNODALA, O_PRCOUT.ISPRECE, O_PRCOUT.DAUDZUMS DESCENDING ",
    .updateSql = "UPDATE O_PRCOUT SET IEP_CENA = :IEP_CENA WHERE ISN=:ISN",
    .costParameter = "IEP_CENA",
    .salePriceColumn = "CENA",
    .firstCounter = 0,
    .commitAfterLoop = true,
    .closing = "Izrakstīšana sadalīta",
};

namespace {

constexpr FifoRules kRules{.rule = issueRuleFifo,
                           .dayQuantities = &SessionState::sqlDienDaudzums,
                           .stockFromLedger = true,
                           .lastPurchaseMovesKey = false};

}  // namespace

std::unique_ptr<KindPass> issuesFifoPass(RunContext& ctx) {
  return std::make_unique<FifoPass>(ctx, kIssuesFifoStep, std::make_unique<RulePricer>(ctx, kRules));
}

void AssignIssuesFifo(RunContext& ctx) { runAlone(ctx, *issuesFifoPass(ctx)); }

}  // namespace talvix
