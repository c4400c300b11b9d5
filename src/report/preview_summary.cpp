#include "report/preview_summary.h"

#include "report/preview_csv.h"
#include "report/unpriced_csv.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace talvix {
namespace {

constexpr const char* kSheetName = "Kopsavilkums";
constexpr const char* kByKind = "Pēc veida";
constexpr const char* kByMonth = "Pēc mēneša";
constexpr const char* kLinesHeader = "Rindas";
constexpr const char* kMoneyHeader = "Naudas izmaiņa";
constexpr const char* kTotal = "Kopā";
constexpr const char* kLargestTitle = "rindas, kas mainās visvairāk";
constexpr const char* kLargestHeaders[] = {"Veids",          "Datums",        "Nodaļa", "Prece",
                                           "Nosaukums",      "Daudzums",      "Rinda",  "Pašizmaksa tagad",
                                           "Pašizmaksa pēc", "Naudas izmaiņa"};
constexpr const char* kNote = "Naudas izmaiņa = daudzums × (pašizmaksa pēc − pašizmaksa tagad)";
constexpr const char* kKindChart = "Naudas izmaiņa pēc veida";
constexpr const char* kMonthChart = "Naudas izmaiņa pēc mēneša";
constexpr const char* kSummaryStart = "Mainītu:";
constexpr const char* kMonthsStart = "Pa mēnešiem:";
constexpr const char* kTotalWord = "kopā ";
constexpr std::size_t kChartColumn = 4;  // right of the sums' three columns
constexpr int kChartWidth = 500;         // pixels, with a gap: the second chart stands beside the first
constexpr std::size_t kChartRows = 16;   // rows a chart covers: the largest lines start below

// Latvian counts: 1, 21, 31 ... rinda; else rindas.
std::string lines(long count) {
  return std::to_string(count) + (count % 10 == 1 && count % 100 != 11 ? " rinda" : " rindas");
}

std::vector<SheetCell> sumRow(const MoneyMoved& sum) {
  return {textCell(sum.label), numberCell(static_cast<double>(sum.lines)), moneyCell(sum.value)};
}

// A section: its bold header, a row per sum and the total; returns the rows its sums took.
std::pair<std::size_t, std::size_t> addSums(Sheet& sheet, const char* title, const std::vector<MoneyMoved>& sums,
                                            const MoneyMoved& total) {
  sheet.boldRows.push_back(sheet.rows.size());
  sheet.rows.push_back({textCell(title), textCell(kLinesHeader), textCell(kMoneyHeader)});
  const std::size_t first = sheet.rows.size();
  for (const MoneyMoved& sum : sums) sheet.rows.push_back(sumRow(sum));
  const std::size_t last = sheet.rows.size() - 1;
  sheet.boldRows.push_back(sheet.rows.size());
  sheet.rows.push_back(sumRow(total));
  sheet.rows.push_back({});
  return {first, last};
}

void addLargest(Sheet& sheet, const std::vector<const CostChange*>& largest) {
  while (sheet.rows.size() < kChartRows) sheet.rows.push_back({});
  sheet.boldRows.push_back(sheet.rows.size());
  sheet.rows.push_back({textCell(std::to_string(largest.size()) + " " + kLargestTitle)});
  sheet.boldRows.push_back(sheet.rows.size());
  std::vector<SheetCell> header;
  for (const char* each : kLargestHeaders) header.push_back(textCell(each));
  sheet.rows.push_back(header);
  for (const CostChange* c : largest)
    sheet.rows.push_back({textCell(latvianKindName(c->kind)), dateCell(c->date), numberCell(c->dept),
                          numberCell(c->goods), textCell(c->goodsName), numberCell(c->quantity), numberCell(c->isn),
                          numberCell(c->costNow), numberCell(c->costAfter), moneyCell(c->valueChange())});
  sheet.rows.push_back({});
  sheet.rows.push_back({textCell(kNote)});
}

}  // namespace

std::string reportMonth(DateTime date) {
  int year, month, day;
  decodeDate(date, year, month, day);
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d.%04d", month, year);
  return buffer;
}

PreviewSums previewSums(const CostChanges& changes, const RunSettings& settings) {
  PreviewSums sums;
  sums.total.label = kTotal;
  for (const DocumentKind kind : kKindsInRunOrder) {
    MoneyMoved sum{latvianKindName(kind)};
    for (const CostChange& c : changes)
      if (c.kind == kind) {
        ++sum.lines;
        sum.value += c.valueChange();
      }
    sums.total.lines += sum.lines;
    sums.total.value += sum.value;
    if (settings.mode(kind) != kSkip || sum.lines > 0) sums.byKind.push_back(sum);
  }
  std::map<std::pair<int, int>, MoneyMoved> months;
  for (const CostChange& c : changes) {
    int year, month, day;
    decodeDate(c.date, year, month, day);
    MoneyMoved& sum = months[{year, month}];
    sum.label = reportMonth(c.date);
    ++sum.lines;
    sum.value += c.valueChange();
  }
  for (const auto& [month, sum] : months) sums.byMonth.push_back(sum);
  for (const CostChange& c : changes) sums.largest.push_back(&c);
  std::stable_sort(sums.largest.begin(), sums.largest.end(), [](const CostChange* a, const CostChange* b) {
    return std::fabs(a->valueChange()) > std::fabs(b->valueChange());
  });
  if (sums.largest.size() > kLargestLines) sums.largest.resize(kLargestLines);
  return sums;
}

Sheet previewSummarySheet(const PreviewSums& sums) {
  Sheet sheet{kSheetName, {}, {}, {}, {}};
  const auto [kindFirst, kindLast] = addSums(sheet, kByKind, sums.byKind, sums.total);
  const auto [monthFirst, monthLast] = addSums(sheet, kByMonth, sums.byMonth, sums.total);
  addLargest(sheet, sums.largest);
  if (!sums.byKind.empty())
    sheet.charts.push_back({kKindChart, kMoneyHeader, kindFirst, kindLast, 0, 2, 0, kChartColumn, 0});
  if (!sums.byMonth.empty())
    sheet.charts.push_back({kMonthChart, kMoneyHeader, monthFirst, monthLast, 0, 2, 0, kChartColumn, kChartWidth});
  return sheet;
}

std::string latvianPreviewSummary(const PreviewSums& sums) {
  std::string text = kSummaryStart;
  for (const MoneyMoved& sum : sums.byKind)
    text += " " + sum.label + " " + lines(sum.lines) + " " + signedMoney(sum.value) + ",";
  text += std::string(" ") + kTotalWord + signedMoney(sums.total.value);
  if (sums.byMonth.empty()) return text;
  text += std::string("\n") + kMonthsStart;
  for (const MoneyMoved& sum : sums.byMonth)
    text += "\n  " + sum.label + ": " + lines(sum.lines) + " " + signedMoney(sum.value);
  return text;
}

}  // namespace talvix
