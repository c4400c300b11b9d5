#pragma once
// The records of a CSV text as fields: separated by commas, a quoted field may hold commas, line
// breaks and doubled quotes; a leading UTF-8 byte-order mark is skipped.
#include <string>
#include <vector>

namespace talvix::test {

std::vector<std::vector<std::string>> parseCsv(const std::string& text);

}  // namespace talvix::test
