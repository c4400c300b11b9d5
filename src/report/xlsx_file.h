#pragma once
// A report as a spreadsheet workbook (.xlsx, through libxlsxwriter): sheets of a bold header row
// frozen above the rows (or bold rows of their own), numbers as numbers, dates as dates
// (dd.mm.yyyy), text as text, and column charts over a sheet's cells. Written as any report is
// (output_file.h): whole, or not at all.
#include "data/date_time.h"

#include <string>
#include <vector>

namespace talvix {

struct SheetCell {
  enum Kind { Text, Number, Date, Money, Empty } kind;
  std::string text;  // Text
  double value = 0;  // Number, Money (every bit kept, shown to the cent), or Date as a date-time
};

// A column chart: categories and values are one column each over rows [firstRow, lastRow]
// (0-based, the header row 0), drawn with its top left corner at (atRow, atColumn), rightOffset
// pixels further right. A sheet with charts prints landscape, one page wide.
struct SheetChart {
  std::string title;
  std::string seriesName;
  std::size_t firstRow, lastRow, categoryColumn, valueColumn, atRow, atColumn;
  int rightOffset;
};

struct Sheet {
  std::string name;
  std::vector<std::string> header;  // empty: no header row, and nothing frozen
  std::vector<std::vector<SheetCell>> rows;
  std::vector<std::size_t> boldRows;  // indexes into rows: a section's own header
  std::vector<SheetChart> charts;
};

SheetCell textCell(std::string text);
SheetCell numberCell(double value);
SheetCell dateCell(DateTime date);
SheetCell moneyCell(double value);
SheetCell emptyCell();

// Whether the file name asks for a workbook: it ends in ".xlsx", in any case.
bool isXlsxPath(const std::string& path);

// The workbook's bytes. Throws std::runtime_error naming the cause.
std::string xlsxBytes(const std::vector<Sheet>& sheets);
// Throws OutputFileError (output_file.h) or std::runtime_error; a failed write leaves what stood there.
void writeXlsxFile(const std::string& path, const std::vector<Sheet>& sheets);
void writeXlsxFile(const std::string& path, const Sheet& sheet);

}  // namespace talvix
