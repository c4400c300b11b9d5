// The preview's sums for the person who says yes: by kind in run order (every kind priced, and any
// other that has lines), by month, the 20 lines whose money is largest either way, and the Latvian
// lines the host prints.
#include "report/preview_summary.h"

#include <gtest/gtest.h>

#include <cmath>

namespace talvix {
namespace {

CostChange change(DocumentKind kind, DateTime date, int isn, double quantity, double now, double after) {
  return {kind, date, 1, 7, "Siers", quantity, isn, now, after};
}

TEST(PreviewSummaryTest, SumsByKindAndMonthAndPicksTheLargestMoneyEitherWay) {
  CostChanges changes;
  for (int i = 1; i <= 25; ++i)
    changes.push_back(change(DocumentKind::Issue, makeDate(2026, i <= 10 ? 2 : 3, 1 + i % 27), 100 + i, 1, 0, i));
  changes.push_back(change(DocumentKind::Transfer, makeDate(2026, 3, 5), 7, 10, 150, 50));  // -1000, the largest
  changes.push_back(change(DocumentKind::Return, makeDate(2026, 3, 6), 8, 2, 0, 1.5));      // a kind on mode 0
  RunSettings settings;
  settings.mode(DocumentKind::Transfer) = kOnlyWithoutCost;
  settings.mode(DocumentKind::Issue) = kOnlyWithoutCost;

  const PreviewSums sums = previewSums(changes, settings);
  ASSERT_EQ(sums.byKind.size(), 3u) << "goods balances: mode 0 and no line";
  const struct {
    const char* label;
    long lines;
    double value;
  } kinds[] = {{"Pārvietošana", 1, -1000}, {"Izrakstīšana", 25, 325}, {"Atgriezšana", 1, 3}};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(sums.byKind[i].label, kinds[i].label);
    EXPECT_EQ(sums.byKind[i].lines, kinds[i].lines) << kinds[i].label;
    EXPECT_DOUBLE_EQ(sums.byKind[i].value, kinds[i].value) << kinds[i].label;
  }
  EXPECT_EQ(sums.total.lines, 27);
  EXPECT_DOUBLE_EQ(sums.total.value, -672);
  ASSERT_EQ(sums.byMonth.size(), 2u);
  EXPECT_EQ(sums.byMonth[0].label, "02.2026");
  EXPECT_EQ(sums.byMonth[0].lines, 10);
  EXPECT_DOUBLE_EQ(sums.byMonth[0].value, 55);
  EXPECT_EQ(sums.byMonth[1].label, "03.2026");
  EXPECT_DOUBLE_EQ(sums.byMonth[1].value, 270 - 1000 + 3);

  ASSERT_EQ(sums.largest.size(), kLargestLines);
  EXPECT_EQ(sums.largest[0]->isn, 7) << "-1000 moves most";
  for (std::size_t i = 1; i < sums.largest.size(); ++i)
    EXPECT_GE(std::fabs(sums.largest[i - 1]->valueChange()), std::fabs(sums.largest[i]->valueChange()));
  EXPECT_EQ(sums.largest.back()->isn, 100 + 7) << "issues 25 down to 7";

  const std::string text = latvianPreviewSummary(sums);
  EXPECT_EQ(text,
            "Mainītu: Pārvietošana 1 rinda -1,000.00, Izrakstīšana 25 rindas +325.00, Atgriezšana 1 rinda "
            "+3.00, kopā -672.00\nPa mēnešiem:\n  02.2026: 10 rindas +55.00\n  03.2026: 17 rindas -727.00");
}

}  // namespace
}  // namespace talvix
