#pragma once
// A fresh stock database with our pricing library connected to it. Documents are written through
// the test database's own attachment and committed, as another user of the suite would.
#include "pricing/library.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <memory>

namespace talvix::pricing {

class PricingTest : public ::testing::Test {
 protected:
  PricingTest() : library(MainFormDatiDll()) {
    library->mainFormDati().PRECES_DB.setDatabaseName(db.path());
    library->mainFormDati().connect();
  }

  // Days of March 2026.
  static DateTime day(int d) { return makeDate(2026, 3, d); }

  test::TestDatabase db;
  std::unique_ptr<PricingLibrary> library;
};

}  // namespace talvix::pricing
