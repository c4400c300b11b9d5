// Which lines a continuous pass may skip, after what the pass before did and what changed since.
#include "step/quiet_lines.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <vector>

namespace talvix {
namespace {

constexpr std::int32_t kGoods = 7, kOtherGoods = 8, kLine = 1, kNeighbour = 2;

struct Event {
  bool wrote;  // else priced to what it held
  std::int32_t isn;
  std::int32_t goods;
};

struct Case {
  const char* name;
  std::vector<Event> before;  // the pass before
  std::vector<ChangedRow> changedIssueLines;
  bool ownOnly;               // the changed rows are the tool's own writes
  std::vector<Event> thisPass;  // before the line comes up
  bool quiet;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const Case kCases[] = {
    {"PricedAfterItsGoodsWasWritten", {{true, kNeighbour, kGoods}, {false, kLine, kGoods}},
     {{kNeighbour, kGoods, false}}, true, {}, true},
    {"PricedBeforeItsGoodsWasWritten", {{false, kLine, kGoods}, {true, kNeighbour, kGoods}},
     {{kNeighbour, kGoods, false}}, true, {}, false},
    {"AnotherGoodsWritten", {{false, kLine, kGoods}, {true, kNeighbour, kOtherGoods}},
     {{kNeighbour, kOtherGoods, false}}, true, {}, true},
    {"AnotherProgramAddedALineOfItsGoods", {{false, kLine, kGoods}}, {{3, kGoods, true}}, false, {}, false},
    {"AnOwnWriteNotSeenByTheLines", {{false, kLine, kGoods}}, {{9, kGoods, false}}, true, {}, false},
    {"ItsGoodsWrittenEarlierThisPass", {{false, kLine, kGoods}}, {}, false, {{true, kNeighbour, kGoods}}, false},
    {"NothingChanged", {{false, kLine, kGoods}}, {}, false, {}, true},
    // Without counts: an own write flagged by its transaction, and another program's beside it.
    {"AnOwnWriteOfAnotherGoodsFlaggedByItsTransaction", {{false, kLine, kGoods}, {true, kNeighbour, kOtherGoods}},
     {{kNeighbour, kOtherGoods, false, true}}, false, {}, true},
    {"AnotherProgramsEditBesideAnOwnWrite", {{false, kLine, kGoods}, {true, kNeighbour, kOtherGoods}},
     {{kNeighbour, kOtherGoods, false, true}, {3, kGoods, true}}, false, {}, false},
};

class QuietLinesCase : public ::testing::TestWithParam<Case> {};

TEST_P(QuietLinesCase, SkipsALineOnlyWhenNothingItsPriceReadChangedSinceItWasPriced) {
  const Case& c = GetParam();
  QuietLines lines;
  DocumentChanges none;
  none.known = true;
  lines.passStarts(none);
  auto act = [&](const std::vector<Event>& events) {
    for (const Event& e : events)
      e.wrote ? lines.wrote(DocumentKind::Issue, e.isn, e.goods) : lines.wroteNothing(DocumentKind::Issue, e.isn, e.goods);
  };
  act(c.before);
  DocumentChanges changes = none;
  if (!c.changedIssueLines.empty()) changes.tables["O_PRCOUT"].rows = c.changedIssueLines;
  if (c.ownOnly) changes.ownOnly.insert("O_PRCOUT");
  lines.passStarts(changes);
  act(c.thisPass);
  EXPECT_EQ(lines.quiet(DocumentKind::Issue, kLine, kGoods), c.quiet);
}

// A kind's kept selection holds the costs its lines had: once the pass before wrote one of them, it
// is read again, also where the look did not see the write (under a table's window).
TEST(QuietLines, AKindsSelectionIsReadAgainAfterThePassBeforeWroteItsLines) {
  QuietLines lines;
  DocumentChanges none;
  none.known = true;
  lines.passStarts(none);
  auto selection = std::make_shared<const std::deque<QuietLines::Selected>>();
  lines.selected(DocumentKind::Issue, "issues", selection);
  lines.selected(DocumentKind::Transfer, "transfers", selection);
  lines.wrote(DocumentKind::Issue, kLine, kGoods);
  lines.passStarts(none);
  EXPECT_EQ(lines.selection(DocumentKind::Issue, "issues"), nullptr);
  EXPECT_EQ(lines.selection(DocumentKind::Transfer, "transfers"), selection);
  lines.passStarts(none);
  lines.selected(DocumentKind::Issue, "issues", selection);
  lines.passStarts(none);
  EXPECT_EQ(lines.selection(DocumentKind::Issue, "issues"), selection) << "a pass that wrote nothing";
}

INSTANTIATE_TEST_SUITE_P(Passes, QuietLinesCase, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace talvix
