#include "average/transfers_issues_weighted.h"

#include "average/average_rules.h"
#include "data/query.h"
#include "pricing/finite_price.h"
#include "step/line_reset.h"
#include "step/operation_entry.h"
#include "step/stop_request.h"

#include <memory>
#include <string>
#include <vector>

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

namespace {

// Transfer rows (FLAG 1) and issue rows of one select, priced by the pass's rule.
class TransfersIssuesPass : public KindPass {
 public:
  explicit TransfersIssuesPass(RunContext& ctx) : ctx_(ctx) {}

  void begin(bool alone) override {
    alone_ = alone;
    // Alone, no empty line follows: the first counter line replaces the heading.
    writeHeading(ctx_, kHeading, false, alone, false);
    writeOperationEntry(ctx_, kOperationLabel, kOperationKey, ctx_.settings.transfers);
    stockIn_ = std::make_unique<Query>(ctx_.db());
    stockIn_->setSql(kTransfersIssuesSql.stockIn);
    Query select(ctx_.db());
    transferUpdate_ = std::make_unique<Query>(ctx_.db());
    transferUpdate_->setSql(kTransfersIssuesSql.transfers.update);
    issueUpdate_ = std::make_unique<Query>(ctx_.db());
    issueUpdate_->setSql(kTransfersIssuesSql.issues.update);
    const std::string& filter = ctx_.state.ServicesFilter;
    select.setSql(kTransfersIssuesSql.transfers.select + filter + kTransfersIssuesSql.issues.select + filter +
                  kTransfersIssuesSql.issues.order);
    bindPeriod(select, ctx_.settings);
    select.open();
    const int flag = select.fieldIndex("FLAG");
    const DocumentLineFields fields(select, nullptr);
    for (select.first(); !select.eof(); select.next()) {
      lines_.push_back(fields.read(select));
      transfer_.push_back(select.asInteger(flag) == kTransferFlag);
    }
    ctx_.average();
  }
  std::size_t size() const override { return lines_.size(); }
  DocumentKind kindOf(std::size_t i) const override {
    return transfer_[i] ? DocumentKind::Transfer : DocumentKind::Issue;
  }
  const DocumentLine& line(std::size_t i) const override { return lines_[i]; }
  // Alone, a turn may run on into the next date or kind; among other kinds, the rows the select
  // gives one date, kind, goods and department side by side, which share the price of the first.
  std::size_t unitEnd(std::size_t first) const override {
    if (alone_) return size();
    std::size_t end = first + 1;
    while (end < size() && lines_[end].date == lines_[first].date && transfer_[end] == transfer_[first] &&
           lines_[end].goods == lines_[first].goods && lines_[end].dept == lines_[first].dept)
      ++end;
    return end;
  }
  // One price per turn: the lines of one goods and department that share the price of the first,
  // up to the department's next stock-in of the goods.
  void price(std::size_t first, std::size_t end, LineCounter& counter) override {
    for (std::size_t i = first; i < end;) {
      const DocumentLine& head = lines_[i];
      const DateTime stockInDate = nextStockIn(ctx_, *stockIn_, head.goods, head.dept, head.date);
      const double price = passPrice(ctx_, ctx_.average(), head.goods, head.dept, head.date, transfer_[i]);
      // The first row always belongs to its turn, also when it is dated on or after the "no
      // stock-in" date, which would otherwise leave the walk standing on it for ever.
      do {
        counter.next();
        Query& update = transfer_[i] ? *transferUpdate_ : *issueUpdate_;
        update.setInteger("ISN", lines_[i].isn);
        update.setDouble("CENA", price);
        update.execSql();
        // Committed at once, so the receiving department's later lines are priced with it.
        ctx_.tran().commitRetaining();
        stopPoint();
        ++i;
      } while (i < end && lines_[i].goods == head.goods && lines_[i].dept == head.dept &&
               stockInDate > lines_[i].date);
    }
  }
  void end() override {
    stockIn_.reset();
    transferUpdate_.reset();
    issueUpdate_.reset();
    ctx_.commitIfActive();
    ctx_.log.AddProcessLine(kClosing, false);
  }
  int firstCounter() const override { return 0; }

 private:
  RunContext& ctx_;
  bool alone_ = true;
  std::vector<DocumentLine> lines_;
  std::vector<bool> transfer_;
  std::unique_ptr<Query> stockIn_, transferUpdate_, issueUpdate_;
};

}  // namespace

std::unique_ptr<KindPass> transfersIssuesWeightedPass(RunContext& ctx) {
  return std::make_unique<TransfersIssuesPass>(ctx);
}

void AssignTransfersIssuesWeighted(RunContext& ctx) { runAlone(ctx, *transfersIssuesWeightedPass(ctx)); }

}  // namespace talvix
