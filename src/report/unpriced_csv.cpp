#include "report/unpriced_csv.h"

#include "report/output_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace talvix {
namespace {

constexpr const char* kHeader = "kind,date,department,goods,name,quantity,line,rule,reason,rule_lv,reason_lv\n";
constexpr const char* kSheetName = "unpriced";
constexpr const char* kLatvianSheetName = "Rindas bez pašizmaksas";
constexpr const char* kSummaryStart = "Still without cost:";
constexpr const char* kNoKind = " no kind is priced";
constexpr const char* kLatvianSummaryStart = "Vēl bez pašizmaksas:";
constexpr const char* kLatvianNoKind = " neviens veids netiek apstrādāts";
constexpr const char* kStandardOutput = "-";
constexpr double kSmallestPlain = 1e-4;
constexpr double kLargestPlain = 1e15;
constexpr int kReadableDigits = 15;

}  // namespace

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

// Digits beyond the 15th are binary noise to a person (3.4799999999999995 for 3.48).
std::string csvNumber(double value) {
  char buffer[400];
  int digits = 1;
  for (; digits < kReadableDigits; ++digits) {
    std::snprintf(buffer, sizeof buffer, "%.*e", digits - 1, value);
    if (std::strtod(buffer, nullptr) == value) break;
  }
  const double size = std::fabs(value);
  if (size != 0.0 && (size < kSmallestPlain || size >= kLargestPlain)) {
    std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
    return buffer;
  }
  // The exponent after rounding to those digits (9.9999999999999999 rounds up to 10).
  std::snprintf(buffer, sizeof buffer, "%.*e", digits - 1, value);
  const int exponent = std::atoi(std::strchr(buffer, 'e') + 1);
  std::snprintf(buffer, sizeof buffer, "%.*f", std::max(0, digits - 1 - exponent), value);
  std::string text = buffer;
  if (text.find('.') != std::string::npos) {
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') text.pop_back();
  }
  return text == "-0" ? "0" : text;
}

std::string pluralName(DocumentKind kind) { return kindRow(kind).names.reportMany; }

std::string kindName(DocumentKind kind) { return kindRow(kind).names.reportOne; }

// The window's caption without its " :".
std::string latvianKindName(DocumentKind kind) {
  std::string caption = kindRow(kind).names.caption;
  constexpr std::string_view kCaptionEnd = " :";
  if (caption.ends_with(kCaptionEnd)) caption.resize(caption.size() - kCaptionEnd.size());
  return caption;
}

std::string ruleName(PriceRule rule) {
  switch (rule) {
    case PriceRule::NotProcessed: return "not processed";
    case PriceRule::FirstSalePrice: return "first sale price";
    case PriceRule::Serial: return "serial";
    case PriceRule::LastPurchasePrice: return "last purchase price";
    case PriceRule::ClientSale: return "client sale";
    case PriceRule::Fifo: return "FIFO";
    case PriceRule::BalanceStage: return "goods-balance stage";
    case PriceRule::WeightedAverage: return "weighted average";
  }
  return "";
}

std::string latvianRuleName(PriceRule rule) {
  switch (rule) {
    case PriceRule::NotProcessed: return "neapstrādā";
    case PriceRule::FirstSalePrice: return "pirmā pārdošanas cena";
    case PriceRule::Serial: return "sērijas numurs";
    case PriceRule::LastPurchasePrice: return "pēdējā iepirkuma cena";
    case PriceRule::ClientSale: return "pārdošana klientam";
    case PriceRule::Fifo: return "FIFO";
    case PriceRule::BalanceStage: return "preču atlikumu pašizmaksa";
    case PriceRule::WeightedAverage: return "vidējā svērtā cena";
  }
  return "";
}

std::string reportDate(DateTime date) {
  int year, month, day;
  decodeDate(date, year, month, day);
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d.%02d.%04d", day, month, year);
  return buffer;
}

std::string unpricedCsv(const std::vector<UnpricedLine>& lines) {
  std::string csv = kHeader;
  for (const UnpricedLine& l : lines) {
    csv += kindName(l.kind) + "," + reportDate(l.date) + "," + std::to_string(l.dept) + "," + std::to_string(l.goods) +
           "," + csvField(l.goodsName) + "," + csvNumber(l.quantity) + "," + std::to_string(l.isn) + "," +
           ruleName(l.rule) + "," + csvField(l.reason) + "," + csvField(latvianRuleName(l.rule)) + "," +
           csvField(l.latvianReason) + "\n";
  }
  return csv;
}

Sheet unpricedSheet(const std::vector<UnpricedLine>& lines) {
  Sheet sheet{
      kSheetName,
      {"kind", "date", "department", "goods", "name", "quantity", "line", "rule", "reason", "rule_lv", "reason_lv"},
      {},
      {},
      {}};
  for (const UnpricedLine& l : lines)
    sheet.rows.push_back({textCell(kindName(l.kind)), dateCell(l.date), numberCell(l.dept), numberCell(l.goods),
                          textCell(l.goodsName), numberCell(l.quantity), numberCell(l.isn), textCell(ruleName(l.rule)),
                          textCell(l.reason), textCell(latvianRuleName(l.rule)), textCell(l.latvianReason)});
  return sheet;
}

Sheet latvianUnpricedSheet(const std::vector<UnpricedLine>& lines) {
  Sheet sheet{kLatvianSheetName, {std::begin(kLatvianUnpricedHeaders), std::end(kLatvianUnpricedHeaders)}, {}, {}, {}};
  for (const UnpricedLine& l : lines)
    sheet.rows.push_back({textCell(latvianKindName(l.kind)), dateCell(l.date), numberCell(l.dept), numberCell(l.goods),
                          textCell(l.goodsName), numberCell(l.quantity), numberCell(l.isn),
                          textCell(latvianRuleName(l.rule)), textCell(l.latvianReason)});
  return sheet;
}

std::vector<KindCount> unpricedCounts(const std::vector<UnpricedLine>& lines, const RunSettings& settings) {
  std::vector<KindCount> counts;
  for (const DocumentKind kind : kKindsInRunOrder) {
    if (settings.mode(kind) == kSkip) continue;
    long count = 0;
    for (const UnpricedLine& l : lines) count += l.kind == kind;
    counts.push_back({kind, count});
  }
  return counts;
}

std::string unpricedSummary(const std::vector<UnpricedLine>& lines, const RunSettings& settings) {
  std::string summary = kSummaryStart;
  bool first = true;
  for (const KindCount& each : unpricedCounts(lines, settings)) {
    summary += (first ? " " : ", ") + pluralName(each.kind) + " " + std::to_string(each.count);
    first = false;
  }
  return first ? summary + kNoKind : summary;
}

std::string latvianUnpricedSummary(const std::vector<UnpricedLine>& lines, const RunSettings& settings) {
  std::string summary = kLatvianSummaryStart;
  bool first = true;
  for (const KindCount& each : unpricedCounts(lines, settings)) {
    summary += (first ? " " : ", ") + latvianKindName(each.kind) + " " + std::to_string(each.count);
    first = false;
  }
  return first ? summary + kLatvianNoKind : summary;
}

namespace {

[[noreturn]] void cannotWrite(const std::string& path, const std::string& cause) {
  throw std::runtime_error(kCannotWriteReport + path + ": " + cause);
}

bool putAll(std::FILE* file, const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
}

// The host's words for a report that was not written: the file's reason in Latvian.
template <typename Write>
void writeNamingFile(const std::string& path, Write write) {
  try {
    write();
  } catch (const OutputFileError& failure) {
    cannotWrite(path, failure.cause());
  }
}

}  // namespace

void writeReportFile(const std::string& path, const std::string& text) {
  if (path == kStandardOutput) {
    if (!putAll(stdout, text)) cannotWrite(path, latvianFileCause(errno));
    return;
  }
  writeNamingFile(path, [&] { writeOutputFile(path, text); });
}

std::string withByteOrderMark(const std::string& csv) { return kUtf8Bom + csv; }

void writeCsvFile(const std::string& path, const std::string& csv) {
  writeReportFile(path, path == kStandardOutput ? csv : withByteOrderMark(csv));
}

void writeReport(const std::string& path, const std::function<std::string()>& csv,
                 const std::function<std::vector<Sheet>()>& sheets) {
  if (isXlsxPath(path))
    writeNamingFile(path, [&] { writeXlsxFile(path, sheets()); });
  else
    writeCsvFile(path, csv());
}

}  // namespace talvix
