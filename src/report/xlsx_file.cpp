#include "report/xlsx_file.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace talvix {
namespace {

constexpr const char* kSuffix = ".xlsx";
constexpr const char* kPartSuffix = ".part";
constexpr const char* kDateFormat = "dd.mm.yyyy";
constexpr double kWidestColumn = 80;
constexpr double kNarrowestColumn = 8;
constexpr std::size_t kNumberWidth = 10;  // a date, or a cost as a spreadsheet shows it

[[noreturn]] void cannotWrite(const std::string& path, const std::string& cause) {
  throw std::runtime_error("Cannot write the report to " + path + ": " + cause);
}

// Wide enough for the longest text in the column, in characters.
double columnWidth(const Sheet& sheet, std::size_t column) {
  std::size_t widest = sheet.header[column].size();
  for (const auto& row : sheet.rows)
    if (column < row.size())
      widest = std::max(widest, row[column].kind == SheetCell::Text ? row[column].text.size() : kNumberWidth);
  return std::clamp(static_cast<double>(widest) + 2, kNarrowestColumn, kWidestColumn);
}

}  // namespace

SheetCell textCell(std::string text) { return {SheetCell::Text, std::move(text)}; }
SheetCell numberCell(double value) { return {SheetCell::Number, {}, value}; }
// The workbook counts days from 30.12.1899 as DateTime does (from March 1900 on, the days any
// report holds).
SheetCell dateCell(DateTime date) { return {SheetCell::Date, {}, wholeDate(date)}; }

bool isXlsxPath(const std::string& path) {
  const std::size_t length = std::strlen(kSuffix);
  if (path.size() <= length) return false;
  return std::equal(path.end() - length, path.end(), kSuffix,
                    [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

void writeXlsxFile(const std::string& path, const Sheet& sheet) {
  const std::string part = path + kPartSuffix;
  lxw_workbook* workbook = workbook_new(part.c_str());
  if (!workbook) cannotWrite(path, "out of memory");
  lxw_worksheet* worksheet = workbook_add_worksheet(workbook, sheet.name.c_str());
  lxw_format* bold = workbook_add_format(workbook);
  format_set_bold(bold);
  lxw_format* date = workbook_add_format(workbook);
  format_set_num_format(date, kDateFormat);
  for (std::size_t column = 0; column < sheet.header.size(); ++column) {
    const auto at = static_cast<lxw_col_t>(column);
    worksheet_write_string(worksheet, 0, at, sheet.header[column].c_str(), bold);
    worksheet_set_column(worksheet, at, at, columnWidth(sheet, column), nullptr);
  }
  for (std::size_t row = 0; row < sheet.rows.size(); ++row) {
    const auto line = static_cast<lxw_row_t>(row + 1);
    for (std::size_t column = 0; column < sheet.rows[row].size(); ++column) {
      const SheetCell& cell = sheet.rows[row][column];
      const auto at = static_cast<lxw_col_t>(column);
      if (cell.kind == SheetCell::Text)
        worksheet_write_string(worksheet, line, at, cell.text.c_str(), nullptr);
      else
        worksheet_write_number(worksheet, line, at, cell.value, cell.kind == SheetCell::Date ? date : nullptr);
    }
  }
  worksheet_freeze_panes(worksheet, 1, 0);
  const lxw_error closed = workbook_close(workbook);
  if (closed != LXW_NO_ERROR) {
    std::remove(part.c_str());
    cannotWrite(path, lxw_strerror(closed));
  }
  if (std::rename(part.c_str(), path.c_str()) != 0) {
    const int error = errno;
    std::remove(part.c_str());
    cannotWrite(path, std::strerror(error));
  }
}

}  // namespace talvix
