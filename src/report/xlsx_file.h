#pragma once
// A report as a spreadsheet workbook (.xlsx, through libxlsxwriter): one sheet, a bold header row
// frozen above the rows, numbers as numbers, dates as dates (dd.mm.yyyy), text as text. Written
// beside its place and renamed over it once whole, as the CSV files are.
#include "data/date_time.h"

#include <string>
#include <vector>

namespace talvix {

struct SheetCell {
  enum Kind { Text, Number, Date } kind;
  std::string text;  // Text
  double value = 0;  // Number, or Date as a date-time
};

struct Sheet {
  std::string name;
  std::vector<std::string> header;
  std::vector<std::vector<SheetCell>> rows;
};

SheetCell textCell(std::string text);
SheetCell numberCell(double value);
SheetCell dateCell(DateTime date);

// Whether the file name asks for a workbook: it ends in ".xlsx", in any case.
bool isXlsxPath(const std::string& path);

// Throws std::runtime_error naming the file and the cause; a failed write leaves what stood there.
void writeXlsxFile(const std::string& path, const Sheet& sheet);

}  // namespace talvix
