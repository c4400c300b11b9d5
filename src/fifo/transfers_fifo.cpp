#include "fifo/transfers_fifo.h"

#include "fifo/fifo_rules.h"
#include "fifo/rule_pricer.h"

namespace talvix {

constexpr FifoStep kTransfersFifoStep{
    .kind = DocumentKind::Transfer,
    .heading = "Aprēķinu pārvietošanu ...",
    .blankLineAfterHeading = true,
    .operationLabel = "AUTO.IEP.SAD.",
    .operationKey = "PARV=",
    .reset = {.kind = DocumentKind::Transfer,
              .selectSql =
                  "SELECT O_PARPRC.ISN FROM O_PARPAV, O_PARPRC, N_KLPREC WHERE O_PARPAV.ISN = O_PARPRC.ISPARVPAV "
                  "AND O_PARPRC.ISPRECE = N_KLPREC.ISN AND O_PARPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ ",
              .oneStatement = false,
              .firstCounter = 1,
              .repaintEachLine = false,
              .stopAfterOneStatement = false},
    .selectSql =
        "SELECT O_PARPRC.CENA, O_PARPAV.DATUMS, O_PARPAV.ISNODALANO ISNODALA, O_PARPRC.ISPRECE, "
        "O_PARPRC.DAUDZUMS, O_PARPRC.ISN, O_PARPRC.NODOKLIS, O_PARPRC.ISSERTIF FROM O_PARPAV, O_PARPRC, "
        "N_KLPREC WHERE O_PARPAV.ISN = O_PARPRC.ISPARVPAV AND O_PARPRC.ISPRECE = N_KLPREC.ISN AND "
        "O_PARPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ AND (O_PARPRC.CENA=0.00 or O_PARPRC.CENA IS NULL) ",
    .selectOrder = " ORDER BY O_PARPAV.DATUMS, O_PARPAV.ISNODALANO, O_PARPRC.ISPRECE, O_PARPRC.ISN ",
    .updateSql = "UPDATE O_PARPRC SET CENA=:CENA WHERE ISN=:ISN",
    .costParameter = "CENA",
    .salePriceColumn = nullptr,
    .firstCounter = 0,
    .commitAfterLoop = true,
    .closing = "Pārvietošana piešķirta",
};

namespace {

// ISNODALA is the sending department: its stock and outflow price the line.
constexpr FifoRules kRules{.rule = transferRuleFifo,
                           .dayQuantities = &SessionState::sqlDienDaudzums,
                           .stockFromLedger = true,
                           .lastPurchaseMovesKey = true};

}  // namespace

std::unique_ptr<KindPass> transfersFifoPass(RunContext& ctx) {
  return std::make_unique<FifoPass>(ctx, kTransfersFifoStep, std::make_unique<RulePricer>(ctx, kRules));
}

void AssignTransfersFifo(RunContext& ctx) { runAlone(ctx, *transfersFifoPass(ctx)); }

}  // namespace talvix
