#include "average/balances_weighted.h"

#include "average/line_by_line.h"
#include "data/query.h"
#include "step/line_reset.h"
#include "step/operation_entry.h"

#include <string>

namespace talvix {
namespace {

constexpr const char* kHeading = "Aprēķinu atlikumus vidējā svērtā metode ...";
constexpr const char* kClosing = "Atlikumi vidējā svērtā metode pabeigta";
constexpr const char* kOperationKey = "ATLIK=";

}  // namespace

// No ORDER BY: the lines come in the database's order.
constexpr AverageStepSql kBalancesWeightedSql{
    .kind = DocumentKind::Balance,
    .select =
        "SELECT O_PRATL_PRC.IEP_CENA, O_PRATL_PAV.DATUMS,            O_PRATL_PAV.ISNODALA, "
        "O_PRATL_PRC.ISPRECE,            O_PRATL_PRC.DAUDZUMS, O_PRATL_PRC.ISN           FROM "
        "O_PRATL_PAV, O_PRATL_PRC, N_KLPREC           WHERE O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV     "
        "        AND O_PRATL_PRC.ISPRECE = N_KLPREC.ISN             AND O_PRATL_PAV.DATUMS >=:DAT_NO     "
        "        AND O_PRATL_PAV.DATUMS <=:DAT_LIDZ             AND (O_PRATL_PRC.IEP_CENA=0.00 OR "
        "O_PRATL_PRC.IEP_CENA IS NULL) ",
    .order = "",
    .update = "UPDATE O_PRATL_PRC SET IEP_CENA = :IEP_CENA WHERE ISN=:ISN"};

namespace {

constexpr AverageKindStep kStep{.sql = kBalancesWeightedSql,
                                .heading = kHeading,
                                .closing = kClosing,
                                .operationKey = kOperationKey,
                                .servicesFilter = true,
                                .calculatorFirst = false,
                                .repaintAfterClosing = true,
                                .how = {.costParameter = "IEP_CENA", .transfer = false, .singleKind = false, .firstCounter = 1, .repaintEachLine = true, .commitEachLine = false}};

}  // namespace

std::unique_ptr<KindPass> balancesWeightedPass(RunContext& ctx) { return std::make_unique<AveragePass>(ctx, kStep); }

void AssignBalancesWeighted(RunContext& ctx) { runAlone(ctx, *balancesWeightedPass(ctx)); }

}  // namespace talvix
