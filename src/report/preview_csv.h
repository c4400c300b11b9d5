#pragma once
// A preview's cost changes as CSV (UTF-8, a header row, dates as dd.mm.yyyy, numbers as the
// shortest text that reads back the same) and the line that sums them by kind and in total.
#include "report/xlsx_file.h"
#include "step/cost_change.h"
#include "step/run_settings.h"

#include <string>
#include <vector>

namespace talvix {

std::string previewCsv(const CostChanges& changes);
// The same columns and rows as a workbook's sheet (xlsx_file.h).
Sheet previewSheet(const CostChanges& changes);

// "Would change: transfers 12 lines +0.00, issues 310 lines -1,234.56, ... total -1,180.20",
// naming every kind whose mode is not 0 in run order; sums rounded to cents.
std::string previewSummary(const CostChanges& changes, const RunSettings& settings);

// "+1,234.56", "-0.50", "+0.00".
std::string signedMoney(double value);

}  // namespace talvix
