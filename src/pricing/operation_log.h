#pragma once
// The suite's operation log (S_OPERACIJAS). Each entry is written and committed in a short
// transaction of its own on the same attachment, so it stays even when the run's transaction is
// rolled back afterwards. The insert is prepared once.
#include "data/connection.h"
#include "data/query.h"

#include <string>

namespace talvix::pricing {

class OperationLog {
 public:
  explicit OperationLog(Connection& connection);

  // query, when given, is recorded by its SQL text. Throws DbError; nothing stays uncommitted.
  void write(const std::string& label, DateTime date, const std::string& text1, const std::string& text2,
             int number1, const std::string& text3, const Query* query, int number2);

 private:
  Transaction transaction_;
  Query insert_;
};

}  // namespace talvix::pricing
