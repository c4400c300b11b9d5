#include "average/transfers_issues_weighted.h"

#include "average/average_rules.h"
#include "data/query.h"
#include "pricing/finite_price.h"
#include "step/line_reset.h"
#include "step/operation_entry.h"
#include "step/stop_request.h"

#include <string>

namespace talvix {
namespace {

constexpr const char* kHeading = "Aprēķinu pārvietošanu un izrakstīšanu ...";
constexpr const char* kClosing = "Pārvietošana un izrakstīšana sadalīta";
constexpr const char* kOperationLabel = "AUTO IEP.SAD.";
constexpr const char* kOperationKey = "PARV.IZR=";

constexpr int kTransferFlag = 1;

// Stands for "no later stock-in".
const DateTime kNoStockIn = makeDate(3000, 12, 31);

struct Fields {
  explicit Fields(const Query& q)
      : date(q.fieldIndex("DATUMS")),
        dept(q.fieldIndex("ISNODALA")),
        goods(q.fieldIndex("ISPRECE")),
        isn(q.fieldIndex("ISN")),
        flag(q.fieldIndex("FLAG")) {}
  int date, dept, goods, isn, flag;
};

DateTime nextStockIn(RunContext& ctx, Query& stockIn, int goods, int dept, DateTime date) {
  if (const std::optional<DateTime> known = ctx.pricing.NextStockIn(goods, dept, date))
    return wholeDate(*known) == 0.0 ? kNoStockIn : *known;
  stockIn.close();
  stockIn.setInteger("ISPRECE", goods);
  stockIn.setInteger("ISNODALA", dept);
  stockIn.setDateTime("DATUMSNO", date);
  stockIn.open();
  // An empty result reads as the zero date.
  const DateTime found = stockIn.eof() ? 0.0 : stockIn.asDateTime(stockIn.fieldIndex("DATUMS"));
  return wholeDate(found) == 0.0 ? kNoStockIn : found;
}

double passPrice(RunContext& ctx, TVidSvPasizm& calculator, int goods, int dept, DateTime date, bool transfer) {
  if (averageRule(ctx.settings) == PriceRule::LastPurchasePrice)
    return finitePrice(ctx.pricing.GetPedIepCena(goods, dept, 0, date));
  return finitePrice(calculator.GetVidSvPasizmaksa(goods, dept, date, transfer, false));
}

}  // namespace

// Transfer rows (FLAG 1) carry the sending department as ISNODALA.
constexpr TransfersIssuesSql kTransfersIssuesSql{
    .transfers = {.kind = DocumentKind::Transfer,
                  .select =
                      "SELECT O_PARPAV.DATUMS, O_PARPRC.CENA,         O_PARPAV.ISNODALANO ISNODALA, O_PARPRC.ISPRECE,  "
                      "       O_PARPRC.DAUDZUMS, O_PARPRC.ISN, 1 FLAG        FROM O_PARPAV, O_PARPRC, N_KLPREC        "
                      "WHERE O_PARPAV.ISN = O_PARPRC.ISPARVPAV          AND O_PARPRC.ISPRECE = N_KLPREC.ISN          "
                      "AND O_PARPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ          AND (O_PARPRC.CENA=0.00 or "
                      "O_PARPRC.CENA IS NULL) ",
                  .order = "",
                  .update = "UPDATE O_PARPRC SET CENA=:CENA WHERE ISN=:ISN"},
    .issues = {.kind = DocumentKind::Issue,
               .select =
                   " UNION SELECT O_PAVOUT.DATUMS, O_PRCOUT.IEP_CENA,            O_PAVOUT.ISNODALA, "
                   "O_PRCOUT.ISPRECE,            O_PRCOUT.DAUDZUMS, O_PRCOUT.ISN, 2 FLAG           FROM O_PAVOUT, "
                   "O_PRCOUT, N_KLPREC           WHERE O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT             AND "
                   "O_PRCOUT.ISPRECE = N_KLPREC.ISN             AND O_PAVOUT.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ   "
                   "          AND (O_PRCOUT.IEP_CENA=0.00 OR O_PRCOUT.IEP_CENA IS NULL) ",
               .order = " ORDER BY 1, 7, 4, 3 ",
               .update = "UPDATE O_PRCOUT SET IEP_CENA=:CENA WHERE ISN=:ISN"},
    .stockIn =
        "SELECT O_PAVADZ.DAT_SANEM DATUMS                 FROM O_PRECE, O_PAVADZ                WHERE "
        "O_prece.ISPAVADZ = O_pavadz.ISN                 AND O_PAVADZ.ISNODALA = :ISNODALA               "
        "  AND O_PRECE.ISPRECE = :ISPRECE                 AND O_PAVADZ.DAT_SANEM > :DATUMSNO             "
        "    UNION                SELECT O_PARPAV.DATUMS                   FROM O_PARPRC, O_PARPAV       "
        "           WHERE O_PARPRC.ISPARVPAV = O_PARPAV.ISN                   AND O_PARPAV.ISNODALAUZ = "
        ":ISNODALA                   AND O_PARPRC.ISPRECE = :ISPRECE                   AND "
        "O_PARPAV.DATUMS > :DATUMSNO                    AND O_PARPRC.CENA > 0                 UNION      "
        "          SELECT O_ATGPAV.DATUMS                   FROM O_ATGPRC, O_ATGPAV                  "
        "WHERE O_ATGPRC.ISATGPAV = O_ATGPAV.ISN                   AND O_ATGPAV.ISNODALA = :ISNODALA      "
        "             AND O_ATGPRC.ISPRECE = :ISPRECE                   AND O_ATGPAV.DATUMS > :DATUMSNO  "
        "                  AND O_ATGPRC.IEP_CENA > 0                    AND O_ATGPAV.FROM_WHAT = 2       "
        "          order by 1"};

void AssignTransfersIssuesWeighted(RunContext& ctx) {
  const RunSettings& settings = ctx.settings;
  // No empty line follows: the first counter line replaces the heading.
  ctx.log.AddProcessLine(kHeading, false);

  writeOperationEntry(ctx, kOperationLabel, kOperationKey, settings.transfers);

  Query stockIn(ctx.db());
  stockIn.setSql(kTransfersIssuesSql.stockIn);
  Query select(ctx.db());
  Query transferUpdate(ctx.db());
  transferUpdate.setSql(kTransfersIssuesSql.transfers.update);
  Query issueUpdate(ctx.db());
  issueUpdate.setSql(kTransfersIssuesSql.issues.update);

  const std::string& filter = ctx.state.ServicesFilter;
  select.setSql(kTransfersIssuesSql.transfers.select + filter + kTransfersIssuesSql.issues.select + filter +
                kTransfersIssuesSql.issues.order);
  bindPeriod(select, settings);
  select.open();

  TVidSvPasizm& calculator = ctx.average();

  const Fields f(select);
  const int total = select.rowCount();
  int counter = 0;
  select.first();
  // One pass per turn: the lines of one goods and department that share the price of the first,
  // up to the department's next stock-in of the goods.
  while (!select.eof()) {
    const int goods = select.asInteger(f.goods);
    const int dept = select.asInteger(f.dept);
    const DateTime date = select.asDateTime(f.date);
    const DateTime stockInDate = nextStockIn(ctx, stockIn, goods, dept, date);
    const double price = passPrice(ctx, calculator, goods, dept, date, select.asInteger(f.flag) == kTransferFlag);

    // The first row always belongs to its pass, also when it is dated on or after the
    // "no stock-in" date, which would otherwise leave the walk standing on it for ever.
    do {
      ctx.log.AddProcessLine(std::to_string(counter) + "/" + std::to_string(total), true);
      ++counter;
      Query& update = select.asInteger(f.flag) == kTransferFlag ? transferUpdate : issueUpdate;
      update.setInteger("ISN", select.asInteger(f.isn));
      update.setDouble("CENA", price);
      update.execSql();
      // Committed at once, so the receiving department's later lines are priced with it.
      ctx.tran().commitRetaining();
      stopPoint();
      select.next();
    } while (!select.eof() && select.asInteger(f.goods) == goods && select.asInteger(f.dept) == dept &&
             stockInDate > select.asDateTime(f.date));
  }

  ctx.commitIfActive();
  ctx.log.AddProcessLine(kClosing, false);
}

}  // namespace talvix
