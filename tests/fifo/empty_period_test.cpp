// With no line in the period every FIFO step still writes its heading and its operation-log entry;
// all but returns also their empty line and closing line. One row per kind.
#include "fifo/fifo_passes.h"
#include "fifo/fifo_step_fixture.h"
#include "fifo/returns.h"

#include <ostream>

namespace talvix::test {
namespace {

using Calls = std::vector<std::string>;

struct EmptyRow {
  const char* name;
  DocumentKind kind;
  void (*step)(RunContext&);
  bool loadsTables;  // as the kind's own tests run it
  Calls lines;
  const char* label;
  const char* key;
};

std::ostream& operator<<(std::ostream& out, const EmptyRow& row) { return out << row.name; }

class EmptyPeriodTest : public FifoStepTest, public ::testing::WithParamInterface<EmptyRow> {};

TEST_P(EmptyPeriodTest, StillLogsHeadingAndEntry) {
  const EmptyRow& row = GetParam();
  settings.mode(row.kind) = kOnlyWithoutCost;
  if (row.loadsTables) prepareTables();
  RunContext c = ctx();
  row.step(c);
  EXPECT_EQ(history.lines, row.lines);
  EXPECT_EQ(pricing.calls, Calls{operationEntry(row.label, row.key)});
}

INSTANTIATE_TEST_SUITE_P(Kinds, EmptyPeriodTest,
                         ::testing::Values(EmptyRow{"Transfers",
                                                    DocumentKind::Transfer,
                                                    [](RunContext& c) { assignFifo(c, DocumentKind::Transfer); },
                                                    true,
                                                    {"Aprēķinu pārvietošanu ...", "", "Pārvietošana piešķirta"},
                                                    "AUTO.IEP.SAD.",
                                                    "PARV=1"},
                                           EmptyRow{"Issues",
                                                    DocumentKind::Issue,
                                                    [](RunContext& c) { assignFifo(c, DocumentKind::Issue); },
                                                    true,
                                                    {"Aprēķinu izrakstīšanu ...", "", "Izrakstīšana sadalīta"},
                                                    "AUTO IEP.SAD.",
                                                    "IZR=1"},
                                           EmptyRow{"Balances",
                                                    DocumentKind::Balance,
                                                    [](RunContext& c) { assignFifo(c, DocumentKind::Balance); },
                                                    true,
                                                    {"Aprēķinu pašizmaksu atlikumiem ...", "",
                                                     "Pašizmaksa atlikumiem piešķirta"},
                                                    "AUTO IEP.SAD.",
                                                    "ATLIK=1"},
                                           // No empty line follows the heading, so with no line it stays the last one.
                                           EmptyRow{"Returns",
                                                    DocumentKind::Return,
                                                    [](RunContext& c) { assignFifo(c, DocumentKind::Return); },
                                                    false,
                                                    {"Aprēķinu atgriešanu ..."},
                                                    "IEP.SAD.",
                                                    "ATGR=1"}),
                         [](const ::testing::TestParamInfo<EmptyRow>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace talvix::test
