#pragma once
// A run context over a fresh database: a real data module connected to it, a recording pricing
// library, a recording progress log, a real registry file, a sleeper that only counts and the
// state kept between runs. Tests set `settings` and call a step with `context()`.
#include "data/main_form_dati.h"
#include "registry/registry_store.h"
#include "step/run_context.h"
#include "support/recording_log.h"
#include "support/recording_pricing.h"
#include "support/test_database.h"

#include <vector>

namespace talvix::test {

class CountingSleeper : public Sleeper {
 public:
  void sleepMilliseconds(int milliseconds) override { waits.push_back(milliseconds); }
  std::vector<int> waits;
};

class RunFixture {
 public:
  RunFixture() : registry(db.dir().file("registry.reg")), pricing(data) {
    data.PRECES_DB.setDatabaseName(db.path());
    data.connect();
  }

  // A context over the fixture's parts with the current settings; the library may be replaced.
  RunContext context(PricingLibrary* library = nullptr) {
    RunContext ctx{settings, library ? *library : pricing, log, registry, sleeper, state};
    return ctx;
  }

  // The period as whole dates; times of day may be added by a test.
  void period(DateTime first, DateTime last) {
    settings.dateFrom = first;
    settings.dateTo = last;
  }

  TestDatabase db;
  MainFormDati data;
  RegFileStore registry;
  RecordingPricing pricing;
  RecordingLog log;
  CountingSleeper sleeper;
  SessionState state;
  RunSettings settings;
};

}  // namespace talvix::test
