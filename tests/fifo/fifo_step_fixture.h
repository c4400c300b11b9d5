#pragma once
// What the FIFO step tests share: a run fixture over a fresh database whose progress log also keeps
// every write in order (the counters overwrite one another), March 2026 as the period, and the
// day-quantity tables loaded as the FIFO run loads them.
#include "fifo/fifo_passes.h"
#include "run/fifo_run.h"
#include "support/run_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace talvix::test {

class HistoryLog : public RecordingLog {
 public:
  void AddProcessLine(const std::string& text, bool replaceLast) override {
    history.push_back((replaceLast ? "~" : "+") + text);
    RecordingLog::AddProcessLine(text, replaceLast);
  }
  // Every write: "+text" appended, "~text" replacing the last line.
  std::vector<std::string> history;
};

class FifoStepTest : public ::testing::Test, public RunFixture {
 protected:
  // A stock figure of 101 (108 with a balance document) keeps the recorded numbers plain.
  FifoStepTest() {
    period(day(1), day(31));
    pricing.precValid = 101;
  }

  static DateTime day(int d) { return makeDate(2026, 3, d); }
  static DateTime at(int d, int hour) { return makeDateTime(2026, 3, d, hour, 0, 0); }

  RunContext ctx() {
    return RunContext{.settings = settings,
                      .pricing = pricing,
                      .log = history,
                      .registry = registry,
                      .sleeper = sleeper,
                      .state = state};
  }
  // Sets the services filter as the run would and loads the day-quantity tables.
  void prepareTables() {
    state.ServicesFilter = settings.skipServices ? kServicesFilterText : "";
    RunContext c = ctx();
    LoadDayQuantities(c);
  }
  std::string today() const { return formatIsoDate(todayLocal()); }
  std::string operationEntry(const std::string& label, const std::string& key) const {
    return "PutInOperacija(" + label + "," + today() + ",," + key + ",0," + periodLogText(settings) + ",null,0)";
  }
  std::string date(int d) const { return formatIsoDate(day(d)); }
  // Library calls made while pricing, without the operation-log entry, by name only.
  std::vector<std::string> callNames() const {
    std::vector<std::string> names;
    for (const auto& call : pricing.calls)
      if (call.rfind("PutInOperacija", 0) != 0) names.push_back(call.substr(0, call.find('(')));
    return names;
  }

  HistoryLog history;
};

// The FIFO step of one kind, on "Piešķirt tikai ar 0 pašizmaksu"; run() loads the day-quantity
// tables where the kind's row reads one, as the run does, and prices the kind.
template <DocumentKind kKind>
class KindFifoTest : public FifoStepTest {
 protected:
  KindFifoTest() { settings.mode(kKind) = kOnlyWithoutCost; }
  void run() {
    if (kindRow(kKind).fifoPricing.dayQuantities != FifoPricing::DayTable::None) prepareTables();
    RunContext c = ctx();
    assignFifo(c, kKind);
  }
};

}  // namespace talvix::test
