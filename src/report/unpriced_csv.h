#pragma once
// The report of lines still without cost as CSV (UTF-8, a header row, dates as dd.mm.yyyy, the
// stable English columns followed by the source and the reason in Latvian) and the one-line count
// by kind that closes a run's output.
#include "report/unpriced_report.h"
#include "report/xlsx_file.h"
#include "step/run_settings.h"

#include <functional>
#include <string>
#include <vector>

namespace talvix {

std::string kindName(DocumentKind kind);
// "Pārvietošana", "Izrakstīšana", "Atgriezšana", "Preču atlikumi": the window's and the workbook's.
std::string latvianKindName(DocumentKind kind);
std::string pluralName(DocumentKind kind);
// A CSV field, quoted when it holds a separator, a quote or a line break (quotes doubled).
std::string csvField(const std::string& text);
// A number as a person reads it (what a spreadsheet shows): the shortest text that reads back as
// the same double when that needs at most 15 significant digits, else 15 digits; plain digits
// unless too large or too small: 1, 0.5, 2.333, 110, 31.7 (for 31.699999999999996).
std::string csvNumber(double value);
std::string ruleName(PriceRule rule);
// "pirmā pārdošanas cena", "FIFO", ...
std::string latvianRuleName(PriceRule rule);
// "12.03.2026".
std::string reportDate(DateTime date);

std::string unpricedCsv(const std::vector<UnpricedLine>& lines);
// The same columns and rows as a workbook's sheet (xlsx_file.h).
Sheet unpricedSheet(const std::vector<UnpricedLine>& lines);
// The window's columns, in Latvian: the workbook the window saves.
inline constexpr std::size_t kLatvianUnpricedColumns = 9;
inline constexpr const char* kLatvianUnpricedHeaders[kLatvianUnpricedColumns] = {
    "Veids", "Datums", "Nodaļa", "Prece", "Nosaukums", "Daudzums", "Rinda", "Cenas avots", "Iemesls"};
Sheet latvianUnpricedSheet(const std::vector<UnpricedLine>& lines);

struct KindCount {
  DocumentKind kind;
  long count;
};
// The lines of each kind whose mode is not 0, in run order; a kind without lines counts 0.
std::vector<KindCount> unpricedCounts(const std::vector<UnpricedLine>& lines, const RunSettings& settings);

// "Still without cost: transfers 5, issues 1840, returns 436", naming every kind whose mode is
// not 0.
std::string unpricedSummary(const std::vector<UnpricedLine>& lines, const RunSettings& settings);
// The same in Latvian: "Vēl bez pašizmaksas: Pārvietošana 5, Izrakstīšana 1840, Atgriezšana 436".
std::string latvianUnpricedSummary(const std::vector<UnpricedLine>& lines, const RunSettings& settings);

// "Nevaru ierakstīt pārskatu failā ", the start of the host's message of a report not written.
inline constexpr const char* kCannotWriteReport = "Nevaru ierakstīt pārskatu failā ";

// Writes text to path, "-" for standard output, as output_file.h writes a file: what stood there
// stays when the write fails. Throws std::runtime_error: kCannotWriteReport, the path, ": " and the
// reason in Latvian.
void writeReportFile(const std::string& path, const std::string& text);

// The UTF-8 byte-order mark a CSV file starts with, so that a spreadsheet reads ē and ā as such.
inline constexpr const char* kUtf8Bom = "\xEF\xBB\xBF";
std::string withByteOrderMark(const std::string& csv);
// writeReportFile for CSV: a file starts with the byte-order mark, standard output does not (a pipe
// reads plain lines).
void writeCsvFile(const std::string& path, const std::string& csv);
// A workbook when the name ends in ".xlsx", else CSV. Only the form written is built: a year's
// preview as a sheet alone is over 100 MB.
void writeReport(const std::string& path, const std::function<std::string()>& csv,
                 const std::function<std::vector<Sheet>()>& sheets);

}  // namespace talvix
