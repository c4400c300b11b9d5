#include "average/line_by_line.h"

#include "step/line_reset.h"
#include "step/operation_entry.h"
#include "step/price_decision.h"
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
  writeHeading(ctx_, row_.texts.averageHeading, true, alone, false);
  writeOperationEntry(ctx_, kOperationLabel, row_.texts.operationKey, ctx_.settings.mode(row_.kind));
  update_ = std::make_unique<Query>(ctx_.db());
  update_->setSql(row_.average.update);
  if (how_.calculatorFirst) ctx_.average();
  Query select(ctx_.db());
  select.setSql(std::string(row_.average.select) + (how_.servicesFilter ? ctx_.state.ServicesFilter : "") +
                row_.average.order);
  bindPeriod(select, ctx_.settings);
  select.open();
  lines_ = readLines(select);
}

void AveragePass::price(std::size_t first, std::size_t end, LineCounter& counter) {
  for (std::size_t i = first; i < end; ++i) {
    counter.next();
    if (how_.repaintEachLine) ctx_.log.repaintWindow();
    const DocumentLine& line = lines_[i];
    update_->setInteger("ISN", line.isn);
    const double price = decider_.decideAverage(line, {how_.transfer, how_.singleKind}).price;
    update_->setDouble(row_.tables.cost, price);
    update_->execSql();
    if (how_.commitEachLine) {
      ctx_.commitIfActive();
      stopPoint();
    }
  }
}

void AveragePass::end() {
  update_.reset();
  ctx_.commitIfActive();
  ctx_.log.AddProcessLine(row_.texts.averageClosing, false);
  if (how_.repaintAfterClosing) ctx_.log.repaintWindow();
}

}  // namespace talvix
