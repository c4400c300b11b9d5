// What a change to the stock documents reaches of what continuous passes keep: every line, every
// price, the day quantities, a kind's selection, and the goods it touches, one row per change.
#include "data/change_reach.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <set>
#include <string>

namespace talvix {
namespace {

constexpr std::int32_t kGoods = 7, kOtherGoods = 8, kLine = 5;
const std::string kIssueLines = kindRow(DocumentKind::Issue).tables.lines;
const std::string kIssueHeaders = kindRow(DocumentKind::Issue).tables.header;
const std::string kReturnLines = kindRow(DocumentKind::Return).tables.lines;

struct Case {
  const char* name;
  bool known;
  std::map<std::string, TableChanges> tables;
  std::set<std::string> ownOnly;
  // What a reader knows of the changed line before: kLine was of this goods, where given.
  std::optional<std::int32_t> lineWas;
  bool everyLine, everyPrice, dayQuantities, issueSelection, returnSelection;
  std::optional<std::set<std::int32_t>> touched;  // nullopt: not known
  bool ownPlaced = true;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// clang-format off: one change a row
const Case kCases[] = {
    {"Unknown", false, {}, {}, {}, true, true, true, false, false, std::set<std::int32_t>{}},
    {"Nothing", true, {}, {}, {}, false, false, false, false, false, std::set<std::int32_t>{}},
    {"ANewIssueLine", true, {{kIssueLines, {{{kLine, kGoods, true}}, 0}}}, {}, {}, false, false, true, true, false, std::set<std::int32_t>{kGoods}},
    {"ANewIssueDocument", true, {{kIssueHeaders, {{{kLine, kNoGoods, true}}, 0}}}, {}, {}, false, false, true, true, false, std::set<std::int32_t>{}},
    {"AnIssueLineMovedToAnotherGoods", true, {{kIssueLines, {{{kLine, kGoods, false}}, 0}}}, {}, kOtherGoods, false, false, true, true, false, std::set<std::int32_t>{kGoods, kOtherGoods}},
    {"AnEditedLineOfAGoodsNotKnown", true, {{kIssueLines, {{{kLine, kGoods, false}}, 0}}}, {}, {}, false, false, true, true, false, std::nullopt},
    {"ANewReturnLine", true, {{kReturnLines, {{{kLine, kGoods, true}}, 0}}}, {}, {}, false, false, false, false, true, std::set<std::int32_t>{kGoods}},
    {"AnEditedHeader", true, {{kIssueHeaders, {{{kLine, kNoGoods, false}}, 0}}}, {}, {}, true, true, true, true, false, std::set<std::int32_t>{}},
    {"ADeletedLine", true, {{kIssueLines, {{}, 1}}}, {}, {}, true, true, true, true, false, std::set<std::int32_t>{}},
    {"TheGoodsRegister", true, {{kGoodsRegisterTable, {{{kGoods, kNoGoods, false}}, 0}}}, {}, {}, false, true, true, false, false, std::set<std::int32_t>{}},
    {"AReceiptLine", true, {{kReceiptLinesTable, {{{kLine, kGoods, true}}, 0}}}, {}, {}, false, false, false, false, false, std::set<std::int32_t>{kGoods}},
    // The tool's own cost writes: by the counts (a table only it wrote) or by their transaction.
    {"AnOwnWritePlaced", true, {{kIssueLines, {{{kLine, kGoods, false}}, 0}}}, {kIssueLines}, kGoods, false, false, true, true, false, std::set<std::int32_t>{}},
    {"AnOwnWriteToAnotherGoodsThanItWrote", true, {{kIssueLines, {{{kLine, kGoods, false}}, 0}}}, {kIssueLines}, kOtherGoods, false, false, true, true, false, std::set<std::int32_t>{}, false},
    {"AnOwnWriteFlaggedBesideAnotherProgramsLine", true, {{kIssueLines, {{{kLine, kOtherGoods, false, true}, {kLine + 1, kGoods, true}}, 0}}}, {}, {}, false, false, true, true, false, std::set<std::int32_t>{kGoods}},
};
// clang-format on

class ChangeReachCase : public ::testing::TestWithParam<Case> {};

TEST_P(ChangeReachCase, ReachesWhatReadsTheChangedTables) {
  const Case& c = GetParam();
  DocumentChanges changes;
  changes.known = c.known;
  changes.tables.insert(c.tables.begin(), c.tables.end());
  changes.ownOnly.insert(c.ownOnly.begin(), c.ownOnly.end());
  EXPECT_EQ(reachesEveryLine(changes), c.everyLine);
  EXPECT_EQ(reachesEveryPrice(changes), c.everyPrice);
  EXPECT_EQ(reachesDayQuantities(changes), c.dayQuantities);
  EXPECT_EQ(reachesSelection(changes, kindRow(DocumentKind::Issue)), c.issueSelection);
  EXPECT_EQ(reachesSelection(changes, kindRow(DocumentKind::Return)), c.returnSelection);
  const auto goodsBefore = [&](const std::string& table, std::int32_t key) -> std::optional<std::int32_t> {
    return table == kIssueLines && key == kLine ? c.lineWas : std::nullopt;
  };
  std::unordered_set<std::int32_t> touched;
  const bool known = touchedGoods(changes, goodsBefore, touched);
  EXPECT_EQ(known, c.touched.has_value());
  if (known && c.touched) {
    EXPECT_EQ(std::set<std::int32_t>(touched.begin(), touched.end()), *c.touched);
  }
  EXPECT_EQ(ownWritesPlaced(changes, goodsBefore), c.ownPlaced);
}

INSTANTIATE_TEST_SUITE_P(Changes, ChangeReachCase, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace talvix
