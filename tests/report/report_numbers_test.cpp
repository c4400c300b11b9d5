// The numbers the reports print: exact CSV numbers that read back as the same double, in plain
// digits wherever they fit, and signed money with thousands separators for the closing sums.
#include "report/preview_csv.h"
#include "report/unpriced_csv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace talvix {
namespace {

TEST(ReportNumbersTest, CsvNumbersAreShortPlainAndExact) {
  const struct {
    double value;
    const char* text;
  } rows[] = {{1, "1"},
              {0.5, "0.5"},
              {110, "110"},
              {2.333, "2.333"},
              {-3, "-3"},
              {1e20, "1e+20"},
              {0.00001, "1e-05"},
              {0.1 + 0.2, "0.30000000000000004"},
              {6.329999999999999, "6.329999999999999"}};
  for (const auto& row : rows) {
    EXPECT_EQ(csvNumber(row.value), row.text) << row.text;
    EXPECT_EQ(std::strtod(csvNumber(row.value).c_str(), nullptr), row.value) << row.text;
  }
}

TEST(ReportNumbersTest, SignedMoneyRoundsToCentsWithSeparators) {
  const struct {
    double value;
    const char* text;
  } rows[] = {{0, "+0.00"},          {-0.004, "+0.00"},     {0.005, "+0.01"},
              {-0.5, "-0.50"},       {1234.5, "+1,234.50"}, {-1234567.891, "-1,234,567.89"},
              {999.999, "+1,000.00"}};
  for (const auto& row : rows) EXPECT_EQ(signedMoney(row.value), row.text) << row.value;
}

}  // namespace
}  // namespace talvix
