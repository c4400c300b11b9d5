#include "average/line_by_line.h"

#include "step/price_decision.h"
#include "step/line_reset.h"
#include "step/operation_entry.h"
#include "step/stop_request.h"

#include <string>

namespace talvix {
namespace {

constexpr const char* kOperationLabel = "AUTO IEP.SAD.";

}  // namespace

std::vector<DocumentLine> readLines(Query& select) {
  const DocumentLineFields fields(select, nullptr);
  std::vector<DocumentLine> lines;
  for (select.first(); !select.eof(); select.next()) lines.push_back(fields.read(select));
  return lines;
}

void AveragePass::begin(bool alone) {
  writeHeading(ctx_, step_.heading, true, alone, false);
  writeOperationEntry(ctx_, kOperationLabel, step_.operationKey, ctx_.settings.mode(step_.sql.kind));
  update_ = std::make_unique<Query>(ctx_.db());
  update_->setSql(step_.sql.update);
  if (step_.calculatorFirst) ctx_.average();
  Query select(ctx_.db());
  select.setSql(std::string(step_.sql.select) + (step_.servicesFilter ? ctx_.state.ServicesFilter : "") +
                step_.sql.order);
  bindPeriod(select, ctx_.settings);
  select.open();
  lines_ = readLines(select);
}

void AveragePass::price(std::size_t first, std::size_t end, LineCounter& counter) {
  for (std::size_t i = first; i < end; ++i) {
    counter.next();
    if (step_.how.repaintEachLine) ctx_.log.repaintWindow();
    const DocumentLine& line = lines_[i];
    update_->setInteger("ISN", line.isn);
    const double price = decider_.decideAverage(line, {step_.how.transfer, step_.how.singleKind}).price;
    update_->setDouble(step_.how.costParameter, price);
    update_->execSql();
    if (step_.how.commitEachLine) {
      ctx_.tran().commitRetaining();
      stopPoint();
    }
  }
}

void AveragePass::end() {
  update_.reset();
  ctx_.commitIfActive();
  ctx_.log.AddProcessLine(step_.closing, false);
  if (step_.repaintAfterClosing) ctx_.log.repaintWindow();
}

}  // namespace talvix
