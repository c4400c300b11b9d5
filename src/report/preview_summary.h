#pragma once
// What a preview would move, for the person who says yes to it: the money (quantity x cost change)
// summed by kind and by month, the lines that move most, as the workbook's second sheet (with a
// chart of each sum) and as the lines the host prints in Latvian before its machine line.
#include "report/xlsx_file.h"
#include "step/cost_change.h"
#include "step/run_settings.h"

#include <string>
#include <vector>

namespace talvix {

struct MoneyMoved {
  std::string label;  // a kind's Latvian name, or the month as "12.2026"
  long lines = 0;
  double value = 0.0;
};

struct PreviewSums {
  std::vector<MoneyMoved> byKind;   // run order: every kind whose mode is not 0, and any with lines
  std::vector<MoneyMoved> byMonth;  // oldest first, only months with lines
  MoneyMoved total;
  std::vector<const CostChange*> largest;  // by the money's size, largest first; ties in run order
};

inline constexpr std::size_t kLargestLines = 20;

PreviewSums previewSums(const CostChanges& changes, const RunSettings& settings);

// The sheet "Kopsavilkums": by kind, by month, the largest lines, and a chart of each sum.
Sheet previewSummarySheet(const PreviewSums& sums);

// "Mainītu: Pārvietošana 86 rindas +13,314.73, ... kopā +42,560.10", then one line a month.
std::string latvianPreviewSummary(const PreviewSums& sums);

// "12.2026".
std::string reportMonth(DateTime date);

}  // namespace talvix
