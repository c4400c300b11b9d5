#pragma once
// The report of lines still without cost as CSV (UTF-8, a header row, dates as dd.mm.yyyy) and the
// one-line count by kind that closes a run's output.
#include "report/unpriced_report.h"
#include "step/run_settings.h"

#include <string>
#include <vector>

namespace talvix {

std::string kindName(DocumentKind kind);
std::string pluralName(DocumentKind kind);
// A CSV field, quoted when it holds a separator, a quote or a line break (quotes doubled).
std::string csvField(const std::string& text);
// The shortest text that reads back as the same number: 1, 0.5, 2.333, 110.
std::string csvNumber(double value);
std::string ruleName(PriceRule rule);
// "12.03.2026".
std::string reportDate(DateTime date);

std::string unpricedCsv(const std::vector<UnpricedLine>& lines);

struct KindCount {
  DocumentKind kind;
  long count;
};
// The lines of each kind whose mode is not 0, in run order; a kind without lines counts 0.
std::vector<KindCount> unpricedCounts(const std::vector<UnpricedLine>& lines, const RunSettings& settings);

// "Still without cost: transfers 5, issues 1840, returns 436", naming every kind whose mode is
// not 0.
std::string unpricedSummary(const std::vector<UnpricedLine>& lines, const RunSettings& settings);

// Writes text to path, "-" for standard output. A file is written beside its place and renamed
// over it once whole, so a failed write leaves what stood there. Throws std::runtime_error naming
// the file and the cause.
void writeReportFile(const std::string& path, const std::string& text);

}  // namespace talvix
