#include "average/issues_weighted.h"

#include "average/line_by_line.h"
#include "data/query.h"
#include "step/line_reset.h"
#include "step/operation_entry.h"

#include <string>

namespace talvix {
namespace {

constexpr const char* kHeading = "Aprēķinu izrakstīšanu ...";
constexpr const char* kClosing = "Izrakstīšana sadalīta";
constexpr const char* kOperationKey = "IZR=";

}  // namespace

constexpr AverageStepSql kIssuesWeightedSql{
    .kind = DocumentKind::Issue,
    .select =
        "SELECT O_PRCOUT.IEP_CENA, O_PAVOUT.DATUMS,            O_PAVOUT.ISNODALA, O_PRCOUT.ISPRECE,            "
        "O_PRCOUT.DAUDZUMS, O_PRCOUT.ISN           FROM O_PAVOUT, O_PRCOUT, N_KLPREC           WHERE O_PAVOUT.ISN = "
        "O_PRCOUT.ISPAVOUT             AND O_PRCOUT.ISPRECE = N_KLPREC.ISN             AND O_PAVOUT.DATUMS BETWEEN "
        ":DAT_NO AND :DAT_LIDZ             AND (O_PRCOUT.IEP_CENA=0.00 OR O_PRCOUT.IEP_CENA IS NULL) ",
    .order = " ORDER BY DATUMS ",
    .update = "UPDATE O_PRCOUT SET IEP_CENA = :IEP_CENA WHERE ISN=:ISN"};

namespace {

constexpr AverageKindStep kStep{.sql = kIssuesWeightedSql,
                                .heading = kHeading,
                                .closing = kClosing,
                                .operationKey = kOperationKey,
                                .servicesFilter = true,
                                .calculatorFirst = true,
                                .repaintAfterClosing = true,
                                .how = {.costParameter = "IEP_CENA", .transfer = false, .singleKind = true, .firstCounter = 0, .repaintEachLine = false, .commitEachLine = true}};

}  // namespace

std::unique_ptr<KindPass> issuesWeightedPass(RunContext& ctx) { return std::make_unique<AveragePass>(ctx, kStep); }

void AssignIssuesWeighted(RunContext& ctx) { runAlone(ctx, *issuesWeightedPass(ctx)); }

}  // namespace talvix
