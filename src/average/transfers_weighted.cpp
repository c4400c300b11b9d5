#include "average/transfers_weighted.h"

#include "average/line_by_line.h"
#include "data/query.h"
#include "step/line_reset.h"
#include "step/operation_entry.h"

#include <string>

namespace talvix {
namespace {

constexpr const char* kHeading = "Aprēķinu pārvietošanu ...";
constexpr const char* kClosing = "Pārvietošana sadalīta";
constexpr const char* kOperationKey = "PARV=";

}  // namespace

// Transfers of services are priced too: this select takes no services filter.
constexpr AverageStepSql kTransfersWeightedSql{
    .kind = DocumentKind::Transfer,
    .select =
        "SELECT O_PARPRC.CENA, O_PARPAV.DATUMS,         O_PARPAV.ISNODALANO ISNODALA, O_PARPRC.ISPRECE,  "
        "       O_PARPRC.DAUDZUMS, O_PARPRC.ISN, O_PARPRC.NODOKLIS        FROM O_PARPAV, O_PARPRC, "
        "N_KLPREC        WHERE O_PARPAV.ISN = O_PARPRC.ISPARVPAV          AND O_PARPRC.ISPRECE = "
        "N_KLPREC.ISN          AND O_PARPAV.DATUMS >=:DAT_NO          AND O_PARPAV.DATUMS <=:DAT_LIDZ    "
        "      AND (O_PARPRC.CENA=0.00 or O_PARPRC.CENA IS NULL) ",
    .order = " ORDER BY O_PARPAV.DATUMS, O_PARPRC.ISN ",
    .update = "UPDATE O_PARPRC SET CENA=:CENA WHERE ISN=:ISN"};

namespace {

constexpr AverageKindStep kStep{.sql = kTransfersWeightedSql,
                                .heading = kHeading,
                                .closing = kClosing,
                                .operationKey = kOperationKey,
                                .servicesFilter = false,
                                .calculatorFirst = false,
                                .repaintAfterClosing = false,
                                .how = {.costParameter = "CENA", .transfer = true, .singleKind = true, .firstCounter = 0, .repaintEachLine = false, .commitEachLine = true}};

}  // namespace

std::unique_ptr<KindPass> transfersWeightedPass(RunContext& ctx) { return std::make_unique<AveragePass>(ctx, kStep); }

void AssignTransfersWeighted(RunContext& ctx) { runAlone(ctx, *transfersWeightedPass(ctx)); }

}  // namespace talvix
