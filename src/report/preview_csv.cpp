#include "report/preview_csv.h"

#include "report/unpriced_csv.h"
#include "step/price_rule.h"

#include <cmath>
#include <cstdio>

namespace talvix {
namespace {

constexpr const char* kHeader = "kind,date,department,goods,name,quantity,line,cost_now,cost_after,value_change\n";
constexpr const char* kSummaryStart = "Would change:";
constexpr const char* kTotal = "total ";
constexpr const char* kSheetName = "preview";

}  // namespace

std::string signedMoney(double value) {
  const long long cents = std::llround(std::fabs(value) * 100.0);
  std::string whole = std::to_string(cents / 100);
  for (int at = static_cast<int>(whole.size()) - 3; at > 0; at -= 3) whole.insert(static_cast<std::size_t>(at), ",");
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, ".%02lld", cents % 100);
  return (value < 0 && cents != 0 ? "-" : "+") + whole + fraction;
}

std::string previewCsv(const CostChanges& changes) {
  std::string csv = kHeader;
  csv.reserve(csv.size() + changes.size() * 64);  // about a line's length: a year's text grows once
  for (const CostChange& c : changes) {
    csv += kindName(c.kind) + "," + reportDate(c.date) + "," + std::to_string(c.dept) + "," + std::to_string(c.goods) +
           "," + csvField(c.goodsName) + "," + csvNumber(c.quantity) + "," + std::to_string(c.isn) + "," +
           csvNumber(c.costNow) + "," + csvNumber(c.costAfter) + "," + csvNumber(c.valueChange()) + "\n";
  }
  return csv;
}

Sheet previewSheet(const CostChanges& changes) {
  Sheet sheet{
      kSheetName,
      {"kind", "date", "department", "goods", "name", "quantity", "line", "cost_now", "cost_after", "value_change"},
      {},
      {},
      {}};
  for (const CostChange& c : changes)
    sheet.rows.push_back({textCell(kindName(c.kind)), dateCell(c.date), numberCell(c.dept), numberCell(c.goods),
                          textCell(c.goodsName), numberCell(c.quantity), numberCell(c.isn), numberCell(c.costNow),
                          numberCell(c.costAfter), numberCell(c.valueChange())});
  return sheet;
}

std::string previewSummary(const CostChanges& changes, const RunSettings& settings) {
  std::string summary = kSummaryStart;
  double total = 0.0;
  for (const DocumentKind kind : kKindsInRunOrder) {
    long lines = 0;
    double value = 0.0;
    for (const CostChange& c : changes) {
      if (c.kind != kind) continue;
      ++lines;
      value += c.valueChange();
    }
    total += value;
    if (settings.mode(kind) == kSkip && lines == 0) continue;
    summary += " " + pluralName(kind) + " " + std::to_string(lines) + " lines " + signedMoney(value) + ",";
  }
  return summary + " " + kTotal + signedMoney(total);
}

}  // namespace talvix
