#include "tools/pass_limit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace talvix::tools {
namespace {

const std::vector<std::string> kTwoPasses{
    "Sāku FIFO ...", "Sagatavoju dienas daudzumus ...", "FIFO piešķiršana pabeigta ", "Ilgums: 00:00:01",
    "Sāku FIFO ...", "Sagatavoju dienas daudzumus ...", "FIFO piešķiršana pabeigta ", "Ilgums: 00:00:02",
    "Process apturēts"};

// The position of the line after which the host ends, -1 for none.
int endsAt(int passes, const std::vector<std::string>& lines) {
  PassLimit limit(passes);
  for (std::size_t index = 0; index < lines.size(); ++index)
    if (limit.completes(lines[index])) return static_cast<int>(index);
  return -1;
}

TEST(PassLimitTest, EndsOnTheDurationLineOfTheLastCountedPass) {
  const struct {
    int passes;
    int endsAt;
  } rows[] = {{0, -1}, {1, 3}, {2, 7}, {3, -1}};
  for (const auto& row : rows) EXPECT_EQ(endsAt(row.passes, kTwoPasses), row.endsAt) << row.passes << " passes";
}

TEST(PassLimitTest, OnlyTheExactPassLineCounts) {
  const std::vector<std::string> lines{"FIFO piešķiršana pabeigta", "Vidējā svērtā piešķiršana pabeigta Ilgums",
                                       "x", "FIFO piešķiršana pabeigta ", "Ilgums: 00:00:00"};
  EXPECT_EQ(endsAt(1, lines), 4);
}

}  // namespace
}  // namespace talvix::tools
