// The host's command line: what it takes, how the named periods fall, and what it refuses.
#include "tools/host_options.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace talvix::tools {
namespace {

using namespace std::chrono;

ParsedOptions parse(std::vector<const char*> arguments, year_month_day today = 2026y / January / 15d) {
  arguments.insert(arguments.begin(), "autoiepcensad-run");
  return parseHostOptions(static_cast<int>(arguments.size()), arguments.data(), today);
}

TEST(HostOptionsTest, TakesEveryOption) {
  const ParsedOptions parsed =
      parse({"--passes", "3", "--database", "Veikals", "--period", "2026-02-01..2026-02-28", "--verbose"});
  ASSERT_TRUE(parsed.options) << parsed.error;
  EXPECT_EQ(parsed.options->passes, 3);
  EXPECT_EQ(parsed.options->database, "Veikals");
  EXPECT_TRUE(parsed.options->verbose);
  ASSERT_TRUE(parsed.options->period);
  EXPECT_EQ(parsed.options->period->from, 2026y / February / 1d);
  EXPECT_EQ(parsed.options->period->to, 2026y / February / 28d);
}

TEST(HostOptionsTest, TakesPreviewAndExplain) {
  const ParsedOptions preview = parse({"--preview", "-", "--period", "previous-month", "--database", "Veikals"});
  ASSERT_TRUE(preview.options) << preview.error;
  EXPECT_EQ(preview.options->preview, "-");
  const ParsedOptions explain = parse({"--explain", "balance:-17", "--database", "Veikals"});
  ASSERT_TRUE(explain.options) << explain.error;
  ASSERT_TRUE(explain.options->explain);
  EXPECT_EQ(explain.options->explain->kind, "balance");
  EXPECT_EQ(explain.options->explain->line, -17);
}

TEST(HostOptionsTest, RegisterMakesAFilePathAbsoluteAndLeavesAServerOneAsItIs) {
  const std::pair<const char*, std::string> rows[] = {
      {"demo.fdb", (std::filesystem::current_path() / "demo.fdb").string()},
      {"/srv/db/../veikals.fdb", "/srv/veikals.fdb"},
      {"db.example.lan/3050:/srv/centrs.fdb", "db.example.lan/3050:/srv/centrs.fdb"}};
  for (const auto& [given, stored] : rows) {
    const ParsedOptions parsed = parse({"--register", "Veikals", given});
    ASSERT_TRUE(parsed.options && parsed.options->registration) << given << ": " << parsed.error;
    EXPECT_EQ(parsed.options->registration->name, "Veikals");
    EXPECT_EQ(parsed.options->registration->path, stored);
  }
}

TEST(HostOptionsTest, NamedPeriodsAreWholeCalendarMonths) {
  struct Row {
    const char* period;
    year_month_day today, from, to;
  };
  const Row rows[] = {
      {"current-month", 2024y / February / 10d, 2024y / February / 1d, 2024y / February / 29d},
      {"previous-month", 2026y / January / 15d, 2025y / December / 1d, 2025y / December / 31d},
      {"previous-month", 2026y / March / 31d, 2026y / February / 1d, 2026y / February / 28d},
      {"2026-05-05..2026-05-05", 2026y / January / 15d, 2026y / May / 5d, 2026y / May / 5d},
  };
  for (const Row& row : rows) {
    const ParsedOptions parsed = parse({"--period", row.period}, row.today);
    ASSERT_TRUE(parsed.options && parsed.options->period) << row.period << ": " << parsed.error;
    EXPECT_EQ(parsed.options->period->from, row.from) << row.period;
    EXPECT_EQ(parsed.options->period->to, row.to) << row.period;
  }
}

TEST(HostOptionsTest, RefusesWhatItCannotRunWithAReason) {
  const std::vector<std::vector<const char*>> rows{{"--passes", "0"},
                                                   {"--passes", "2x"},
                                                   {"--passes", "99999999999"},
                                                   {"--passes"},
                                                   {"--database", ""},
                                                   {"--period", "this-month"},
                                                   {"--period", "2026-02-30..2026-03-01"},
                                                   {"--period", "2026-03-02..2026-03-01"},
                                                   {"--period", "2026-3-1..2026-3-31"},
                                                   {"--period", "1899-12-29..1900-01-01"},
                                                   {"--period", "2026-03-01"},
                                                   {"--verbos"},
                                                   {"extra"},
                                                   {"--register", "Demo"},
                                                   {"--register", "Demo", "/d.fdb", "--verbose"},
                                                   {"--passes", "1", "--register", "D", "/d"},
                                                   {"--preview", ""},
                                                   {"--preview", "-", "--passes", "1"},
                                                   {"--explain", "issue"},
                                                   {"--explain", "sale:12"},
                                                   {"--explain", "issue:12x"},
                                                   {"--explain", "issue:"},
                                                   {"--explain", "issue:99999999999"},
                                                   {"--explain", "issue:1", "--preview", "-"},
                                                   {"--explain", "issue:1", "--period", "current-month"},
                                                   {"--issues", "3"},
                                                   {"--returns", "none"},
                                                   {"--balances"},
                                                   {"--last-price", "yes"},
                                                   {"--show-settings", "--passes", "1"},
                                                   {"--show-settings", "--preview", "-"}};
  for (const auto& row : rows) {
    const ParsedOptions parsed = parse(row);
    EXPECT_FALSE(parsed.options) << row[0] << " " << (row.size() > 1 ? row[1] : "");
    EXPECT_FALSE(parsed.error.empty());
  }
}

}  // namespace
}  // namespace talvix::tools
