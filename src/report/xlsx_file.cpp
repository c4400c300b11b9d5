#include "report/xlsx_file.h"

#include "report/output_file.h"

#include <xlsxwriter.h>

#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace talvix {
namespace {

constexpr const char* kSuffix = ".xlsx";
constexpr const char* kScratchTemplate = "talvix-xlsx-XXXXXX";
constexpr const char* kScratchName = "/workbook.xlsx";
constexpr const char* kDefaultTemp = "/tmp";
constexpr const char* kDateFormat = "dd.mm.yyyy";
constexpr const char* kMoneyFormat = "#,##0.00";
constexpr const char* kCannotMake = "Nevaru izveidot darbgrāmatu: ";
constexpr double kWidestColumn = 80;
constexpr double kNarrowestColumn = 8;
constexpr std::size_t kNumberWidth = 12;  // a date, or a cost as a spreadsheet shows it
constexpr double kChartScale = 1.0;

[[noreturn]] void cannotMake(const std::string& cause) { throw std::runtime_error(kCannotMake + cause); }

// Wide enough for the longest text in the column, in characters. A row of one cell (a title, a
// note) runs over the empty cells beside it and widens nothing.
double columnWidth(const Sheet& sheet, std::size_t column) {
  std::size_t widest = column < sheet.header.size() ? sheet.header[column].size() : 0;
  for (const auto& row : sheet.rows)
    if (row.size() > 1 && column < row.size() && row[column].kind != SheetCell::Empty)
      widest = std::max(widest, row[column].kind == SheetCell::Text ? row[column].text.size() : kNumberWidth);
  return std::clamp(static_cast<double>(widest) + 2, kNarrowestColumn, kWidestColumn);
}

std::size_t columnCount(const Sheet& sheet) {
  std::size_t count = sheet.header.size();
  for (const auto& row : sheet.rows) count = std::max(count, row.size());
  return count;
}

struct Formats {
  lxw_format* bold;
  lxw_format* date;
  lxw_format* money;
};

lxw_format* numberFormat(const SheetCell& cell, const Formats& formats) {
  if (cell.kind == SheetCell::Date) return formats.date;
  return cell.kind == SheetCell::Money ? formats.money : nullptr;
}

void addChart(lxw_workbook* workbook, lxw_worksheet* worksheet, const Sheet& sheet, const SheetChart& drawn) {
  lxw_chart* chart = workbook_add_chart(workbook, LXW_CHART_COLUMN);
  lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
  const auto first = static_cast<lxw_row_t>(drawn.firstRow);
  const auto last = static_cast<lxw_row_t>(drawn.lastRow);
  chart_series_set_categories(series, sheet.name.c_str(), first, static_cast<lxw_col_t>(drawn.categoryColumn), last,
                              static_cast<lxw_col_t>(drawn.categoryColumn));
  chart_series_set_values(series, sheet.name.c_str(), first, static_cast<lxw_col_t>(drawn.valueColumn), last,
                          static_cast<lxw_col_t>(drawn.valueColumn));
  chart_series_set_name(series, drawn.seriesName.c_str());
  chart_title_set_name(chart, drawn.title.c_str());
  chart_legend_set_position(chart, LXW_CHART_LEGEND_NONE);
  lxw_chart_options place{};
  place.x_offset = drawn.rightOffset;
  place.x_scale = kChartScale;
  place.y_scale = kChartScale;
  worksheet_insert_chart_opt(worksheet, static_cast<lxw_row_t>(drawn.atRow), static_cast<lxw_col_t>(drawn.atColumn),
                             chart, &place);
}

void addSheet(lxw_workbook* workbook, const Sheet& sheet, const Formats& formats) {
  lxw_worksheet* worksheet = workbook_add_worksheet(workbook, sheet.name.c_str());
  const std::size_t offset = sheet.header.empty() ? 0 : 1;
  for (std::size_t column = 0; column < columnCount(sheet); ++column) {
    const auto at = static_cast<lxw_col_t>(column);
    if (column < sheet.header.size())
      worksheet_write_string(worksheet, 0, at, sheet.header[column].c_str(), formats.bold);
    worksheet_set_column(worksheet, at, at, columnWidth(sheet, column), nullptr);
  }
  for (std::size_t row = 0; row < sheet.rows.size(); ++row) {
    const auto line = static_cast<lxw_row_t>(row + offset);
    const bool bold = std::find(sheet.boldRows.begin(), sheet.boldRows.end(), row) != sheet.boldRows.end();
    for (std::size_t column = 0; column < sheet.rows[row].size(); ++column) {
      const SheetCell& cell = sheet.rows[row][column];
      const auto at = static_cast<lxw_col_t>(column);
      if (cell.kind == SheetCell::Text)
        worksheet_write_string(worksheet, line, at, cell.text.c_str(), bold ? formats.bold : nullptr);
      else if (cell.kind != SheetCell::Empty)
        worksheet_write_number(worksheet, line, at, cell.value, numberFormat(cell, formats));
    }
  }
  if (offset) worksheet_freeze_panes(worksheet, 1, 0);
  for (const SheetChart& chart : sheet.charts) addChart(workbook, worksheet, sheet, chart);
  if (!sheet.charts.empty()) {
    worksheet_set_landscape(worksheet);
    worksheet_fit_to_pages(worksheet, 1, 0);
  }
}

std::string scratchFolder() {
  const char* temp = std::getenv("TMPDIR");
  std::string folder = std::string(temp && *temp ? temp : kDefaultTemp) + "/" + kScratchTemplate;
  if (!::mkdtemp(folder.data())) cannotMake(latvianFileCause(errno));
  return folder;
}

}  // namespace

SheetCell textCell(std::string text) { return {SheetCell::Text, std::move(text)}; }
SheetCell numberCell(double value) { return {SheetCell::Number, {}, value}; }
// The workbook counts days from 30.12.1899 as DateTime does (from March 1900 on, the days any
// report holds).
SheetCell dateCell(DateTime date) { return {SheetCell::Date, {}, wholeDate(date)}; }
SheetCell moneyCell(double value) { return {SheetCell::Money, {}, value}; }
SheetCell emptyCell() { return {SheetCell::Empty, {}, 0}; }

bool isXlsxPath(const std::string& path) {
  const std::size_t length = std::strlen(kSuffix);
  if (path.size() <= length) return false;
  return std::equal(path.end() - length, path.end(), kSuffix,
                    [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

// libxlsxwriter writes only to a named file: a private scratch folder holds it.
std::string xlsxBytes(const std::vector<Sheet>& sheets) {
  const std::string folder = scratchFolder();
  const std::string file = folder + kScratchName;
  lxw_workbook* workbook = workbook_new(file.c_str());
  if (!workbook) {
    ::rmdir(folder.c_str());
    cannotMake(latvianFileCause(ENOMEM));
  }
  Formats formats{workbook_add_format(workbook), workbook_add_format(workbook), workbook_add_format(workbook)};
  format_set_bold(formats.bold);
  format_set_num_format(formats.date, kDateFormat);
  format_set_num_format(formats.money, kMoneyFormat);
  for (const Sheet& sheet : sheets) addSheet(workbook, sheet, formats);
  const lxw_error closed = workbook_close(workbook);
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  std::remove(file.c_str());
  ::rmdir(folder.c_str());
  if (closed != LXW_NO_ERROR) cannotMake(lxw_strerror(closed));
  return bytes.str();
}

void writeXlsxFile(const std::string& path, const std::vector<Sheet>& sheets) {
  writeOutputFile(path, xlsxBytes(sheets));
}

void writeXlsxFile(const std::string& path, const Sheet& sheet) { writeXlsxFile(path, std::vector<Sheet>{sheet}); }

}  // namespace talvix
