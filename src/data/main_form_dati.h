#pragma once
// The pricing library's data module: the stock database connection (PRECES_DB), its default
// transaction (PRECES_DB_TRAN), in which every query of the tool runs, and the database's flag that
// lets runs skip the blocked-period check. Owned by the pricing library; the tool borrows it.
#include "data/connection.h"

#include <string>

namespace talvix {

class MainFormDati {
 public:
  MainFormDati() = default;
  MainFormDati(const MainFormDati&) = delete;
  MainFormDati& operator=(const MainFormDati&) = delete;

  // Opens PRECES_DB and reads SkipPeriodLockCheck from N_ISI.NEPARBBLOK. A database whose N_ISI
  // cannot be read still opens, with the flag cleared: the run's own queries then report the fault.
  void connect();

  Connection PRECES_DB;
  Transaction& PRECES_DB_TRAN = PRECES_DB.defaultTransaction();
  bool SkipPeriodLockCheck = false;
};

}  // namespace talvix
