// The numbers the reports print: the shortest text that reads back as the same double, up to the 15
// digits a spreadsheet shows (so no binary noise), in plain digits wherever they fit, and signed money
// with thousands separators for the closing sums.
#include "report/preview_csv.h"
#include "report/unpriced_csv.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace talvix {
namespace {

TEST(ReportNumbersTest, CsvNumbersAreShortPlainAndAtMostFifteenDigits) {
  const struct {
    double value;
    const char* text;
  } rows[] = {{1, "1"},
              {0.5, "0.5"},
              {110, "110"},
              {2.333, "2.333"},
              {-3, "-3"},
              {-0.0, "0"},
              {1e20, "1e+20"},
              {0.00001, "1e-05"},
              {0.0025, "0.0025"},
              {0.1 + 0.2, "0.3"},
              {6.329999999999999, "6.33"},
              {3.4799999999999995, "3.48"},
              {31.699999999999996, "31.7"},
              {16.76 / 2, "8.38"},
              {1.0 / 3, "0.333333333333333"},
              {-2.0 / 3, "-0.666666666666667"},
              {123456789.12345678, "123456789.123457"},
              {99999999999999.99, "100000000000000"},
              {9.9999999999999999, "10"},
              {999999999999999.9, "1000000000000000"}};
  char fifteen[64];
  for (const auto& row : rows) {
    const std::string text = csvNumber(row.value);
    EXPECT_EQ(text, row.text) << row.text;
    // What a spreadsheet makes of the double: the same number, or the same 15 digits.
    std::snprintf(fifteen, sizeof fifteen, "%.15g", row.value);
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), std::strtod(fifteen, nullptr)) << row.text;
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
