// The reports' workbooks as LibreOffice reads them, not as our own code does: soffice turns each
// into CSV with every text cell quoted and every cell as shown, so a number left unquoted was a
// number, a date shows as a date, and Latvian letters come through.
#include "report/preview_csv.h"
#include "report/unpriced_csv.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace talvix::test {
namespace {

// Comma, double quote, UTF-8, from line 1; every text cell quoted, cells as shown.
constexpr const char* kCsvFilter = "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,true,false,true";

std::string lines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class XlsxRoundTripTest : public ::testing::Test {
 protected:
  // The workbook as CSV, through LibreOffice.
  std::string throughLibreOffice(const std::string& name) {
    const std::string command = "HOME='" + dir.path() + "' '" + SOFFICE + "' --headless --convert-to '" + kCsvFilter +
                                "' --outdir '" + dir.path() + "' '" + dir.file(name) + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return lines(dir.file(name.substr(0, name.rfind('.')) + ".csv"));
  }

  void SetUp() override {
    if (std::string(SOFFICE).empty()) GTEST_SKIP() << "soffice is not installed (libreoffice-calc-nogui)";
  }

  TempDir dir;
};

TEST_F(XlsxRoundTripTest, TheUnpricedReportAndThePreviewOpenWithNumbersDatesAndLatvianText) {
  const std::vector<UnpricedLine> unpriced{{DocumentKind::Issue, makeDate(2026, 12, 1), 3, 102, "Ķiploki, Rīgas",
                                            3.4799999999999995, 114241, PriceRule::Fifo, "no stock layer",
                                            "nav krājuma slāņa"}};
  CostChanges changes;
  changes.push_back(
      {DocumentKind::Transfer, makeDate(2026, 3, 9), 1, 4, "Eļļa \"Zelta\"", 19, 114216, 0, 31.699999999999996});
  writeReport(
      dir.file("unpriced.xlsx"), [&] { return unpricedCsv(unpriced); },
      [&] { return std::vector<Sheet>{unpricedSheet(unpriced)}; });
  writeReport(
      dir.file("preview.XLSX"), [&] { return previewCsv(changes); },
      [&] { return std::vector<Sheet>{previewSheet(changes)}; });

  EXPECT_EQ(throughLibreOffice("unpriced.xlsx"),
            "\"kind\",\"date\",\"department\",\"goods\",\"name\",\"quantity\",\"line\",\"rule\",\"reason\","
            "\"rule_lv\",\"reason_lv\"\n"
            "\"issue\",01.12.2026,3,102,\"Ķiploki, Rīgas\",3.48,114241,\"FIFO\",\"no stock layer\",\"FIFO\","
            "\"nav krājuma slāņa\"\n");
  EXPECT_EQ(throughLibreOffice("preview.XLSX"),
            "\"kind\",\"date\",\"department\",\"goods\",\"name\",\"quantity\",\"line\",\"cost_now\",\"cost_after\","
            "\"value_change\"\n"
            "\"transfer\",09.03.2026,1,4,\"Eļļa \"\"Zelta\"\"\",19,114216,0,31.7,602.3\n");
}

}  // namespace
}  // namespace talvix::test
