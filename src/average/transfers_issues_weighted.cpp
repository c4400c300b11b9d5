#include "average/transfers_issues_weighted.h"

#include "step/price_decision.h"
#include "data/query.h"
#include "step/line_reset.h"
#include "step/price_lookups.h"
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


}  // namespace

// Transfer rows (FLAG 1) carry the sending department as ISNODALA.
constexpr TransfersIssuesSql kTransfersIssuesSql{
    .transfers = {.kind = DocumentKind::Transfer,
                  .select = kindRow(DocumentKind::Transfer).joint.select,
                  .order = kindRow(DocumentKind::Transfer).joint.order,
                  .update = kindRow(DocumentKind::Transfer).joint.update},
    .issues = {.kind = DocumentKind::Issue,
               .select = kindRow(DocumentKind::Issue).joint.select,
               .order = kindRow(DocumentKind::Issue).joint.order,
               .update = kindRow(DocumentKind::Issue).joint.update},
    .stockIn = kNextStockInSql};

namespace {

// Transfer rows (FLAG 1) and issue rows of one select, priced by the pass's rule.
class TransfersIssuesPass : public KindPass {
 public:
  explicit TransfersIssuesPass(RunContext& ctx) : ctx_(ctx), decider_(ctx, DocumentKind::Issue, StockMethod::WeightedAverage) {}

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
      const double price = decider_.decideAverage(head, averageFlags(kindOf(i), ctx_.settings)).price;
      // The first row always belongs to its turn, also when it is dated on or after the "no
      // stock-in" date, which would otherwise leave the walk standing on it for ever.
      do {
        counter.next();
        Query& update = transfer_[i] ? *transferUpdate_ : *issueUpdate_;
        update.setInteger("ISN", lines_[i].isn);
        update.setDouble("CENA", price);
        update.execSql();
        // Written at once, so the receiving department's later lines are priced with it.
        ctx_.commitIfActive();
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
  // Its flags come from each line: the same decision for both kinds.
  PriceDecider decider_;
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
