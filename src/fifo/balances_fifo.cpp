#include "fifo/balances_fifo.h"

#include "fifo/fifo_rules.h"
#include "fifo/rule_pricer.h"

namespace talvix {

constexpr FifoStep kBalancesFifoStep{
    .kind = DocumentKind::Balance,
    .heading = "Aprēķinu pašizmaksu atlikumiem ...",
    .blankLineAfterHeading = true,
    .operationLabel = "AUTO IEP.SAD.",
    .operationKey = "ATLIK=",
    .reset = {.kind = DocumentKind::Balance,
              .selectSql = "SELECT O_PRATL_PRC.ISN FROM "
                           "O_PRATL_PAV, O_PRATL_PRC, N_KLPREC WHERE O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV AND "
                           "O_PRATL_PRC.ISPRECE = N_KLPREC.ISN AND O_PRATL_PAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ",
              .oneStatement = true,
              .firstCounter = 0,
              .repaintEachLine = false,
              .stopAfterOneStatement = false},
    .selectSql =
        "SELECT O_PRATL_PRC.IEP_CENA, O_PRATL_PAV.DATUMS, O_PRATL_PAV.ISNODALA, O_PRATL_PRC.ISPRECE, "
        "O_PRATL_PRC.DAUDZUMS, O_PRATL_PRC.ISN, O_PRATL_PRC.ISSERTIF FROM O_PRATL_PAV, O_PRATL_PRC, N_KLPREC "
        "WHERE O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV AND O_PRATL_PRC.ISPRECE = N_KLPREC.ISN AND "
        "O_PRATL_PAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ AND "
        "(O_PRATL_PRC.IEP_CENA=0.00 OR O_PRATL_PRC.IEP_CENA IS NULL) ",
    .selectOrder = " ORDER BY O_PRATL_PAV.DATUMS, O_PRATL_PAV.ISNODALA, O_PRATL_PRC.ISPRECE, O_PRATL_PRC.ISN ",
    .updateSql = "UPDATE O_PRATL_PRC SET IEP_CENA = :IEP_CENA WHERE ISN=:ISN",
    .costParameter = "IEP_CENA",
    .salePriceColumn = nullptr,
    .firstCounter = 1,
    // Every write was committed at once; the other kinds' last commit is not repeated here.
    .commitAfterLoop = false,
    .closing = "Pašizmaksa atlikumiem piešķirta",
};

namespace {

constexpr FifoRules kRules{.rule = balanceRuleFifo,
                           .dayQuantities = &SessionState::sqlDienDaudzAtlikumi,
                           .stockFromLedger = false,
                           .lastPurchaseMovesKey = false};

}  // namespace

std::unique_ptr<KindPass> balancesFifoPass(RunContext& ctx) {
  return std::make_unique<FifoPass>(ctx, kBalancesFifoStep, std::make_unique<RulePricer>(ctx, kRules));
}

void AssignBalancesFifo(RunContext& ctx) { runAlone(ctx, *balancesFifoPass(ctx)); }

}  // namespace talvix
