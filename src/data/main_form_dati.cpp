#include "data/main_form_dati.h"

#include "data/db_error.h"
#include "data/query.h"

namespace talvix {
namespace {
constexpr const char* kSkipFlagSql = "SELECT NEPARBBLOK FROM N_ISI";
}

void MainFormDati::connect() {
  PRECES_DB.open();
  SkipPeriodLockCheck = false;
  try {
    Query query(PRECES_DB);
    query.setSql(kSkipFlagSql);
    query.open();
    SkipPeriodLockCheck = !query.eof() && query.asInteger(0) != 0;
  } catch (const DbError&) {
    // A database without N_ISI is not refused here; the method query says what is missing.
    PRECES_DB_TRAN.deactivate();
  }
}

}  // namespace talvix
