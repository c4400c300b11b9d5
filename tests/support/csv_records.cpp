#include "support/csv_records.h"

namespace talvix::test {

std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> fields(1);
  bool quoted = false;
  // A byte-order mark is no part of the first field, as a spreadsheet reads it.
  const std::size_t start = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  for (std::size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
      fields.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else if (c == '\n' && !quoted) {
      records.push_back(fields);
      fields.assign(1, "");
    } else {
      fields.back() += c;
    }
  }
  if (fields.size() > 1 || !fields[0].empty()) records.push_back(fields);
  return records;
}

}  // namespace talvix::test
