#include "pricing/operation_log.h"

namespace talvix::pricing {
namespace {

// LAIKS and LIETOTAJS take the server's time and user.
constexpr const char* kInsertSql =
    "INSERT INTO S_OPERACIJAS (ISN, NOSAUKUMS, DATUMS, TEKSTS1, TEKSTS2, SKAITLIS1, TEKSTS3, VAICAJUMS, SKAITLIS2) "
    "VALUES (NEXT VALUE FOR S_OPERACIJAS_ISN, :NOSAUKUMS, :DATUMS, :TEKSTS1, :TEKSTS2, :SKAITLIS1, :TEKSTS3, "
    ":VAICAJUMS, :SKAITLIS2)";

}  // namespace

OperationLog::OperationLog(Connection& connection) : transaction_(connection), insert_(connection) {
  insert_.setTransaction(&transaction_);
  insert_.setSql(kInsertSql);
}

void OperationLog::write(const std::string& label, DateTime date, const std::string& text1,
                         const std::string& text2, int number1, const std::string& text3, const Query* query,
                         int number2) {
  insert_.setString("NOSAUKUMS", label);
  insert_.setDateTime("DATUMS", date);
  insert_.setString("TEKSTS1", text1);
  insert_.setString("TEKSTS2", text2);
  insert_.setInteger("SKAITLIS1", number1);
  insert_.setString("TEKSTS3", text3);
  if (query) insert_.setString("VAICAJUMS", query->sql()); else insert_.setNull("VAICAJUMS");
  insert_.setInteger("SKAITLIS2", number2);
  try {
    insert_.execSql();
    transaction_.commit();
  } catch (...) {
    try {
      transaction_.deactivate();
    } catch (...) {
      // The first failure is the one worth reporting.
    }
    throw;
  }
}

}  // namespace talvix::pricing
