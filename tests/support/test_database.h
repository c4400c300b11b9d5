#pragma once
// A fresh embedded database per test, copied from a template made once per test program from the
// schema, plus terse writers for the documents a test needs. Every writer commits at once and
// returns the key of the line it wrote.
#include "data/connection.h"
#include "data/date_time.h"
#include "data/document_tables.h"
#include "support/row_insert.h"
#include "support/temp_dir.h"

#include <cstdint>
#include <optional>
#include <string>

namespace talvix::test {

using Cost = std::optional<double>;  // nullopt is written as NULL

struct ReceiptLine {
  DateTime date = 0;
  int dept = 1;
  int goods = 1;
  double qty = 1;
  double price = 0;
  std::optional<double> discount = 0.0;  // ATLAIDE, percent
  int serial = 0;
};
struct TransferLine {
  DateTime date = 0;
  int from = 1;
  int to = 2;
  int goods = 1;
  double qty = 1;
  Cost cost = 0.0;  // CENA
  double tax = 0;   // NODOKLIS
  int serial = 0;
};
struct IssueLine {
  DateTime date = 0;
  int dept = 1;
  int goods = 1;
  double qty = 1;
  Cost cost = 0.0;    // IEP_CENA
  double price = 0;   // CENA
  double markup = 0;  // PIECENOJ
  double tax = 0;
  int client = 0;  // 0 is written as NULL
  int serial = 0;
};
struct ReturnLine {
  DateTime date = 0;
  int dept = 1;
  int goods = 1;
  double qty = 1;
  Cost cost = 0.0;
  double price = 0;
  double markup = 0;
  int client = 0;
  std::optional<int> fromWhat = 2;
  int serial = 0;
};
struct BalanceLine {
  DateTime date = 0;
  int dept = 1;
  int goods = 1;
  double qty = 1;
  Cost cost = 0.0;
  std::optional<std::string> unconfirmed = std::nullopt;  // NEAPSTIPR
  int serial = 0;
};

class TestDatabase {
 public:
  TestDatabase();
  const std::string& path() const { return path_; }
  const TempDir& dir() const { return dir_; }

  // The database as the tests read and write it behind the tool's back.
  Connection& connection() { return connection_; }
  void exec(const std::string& sql);
  double scalar(const std::string& sql);  // first column of the first row, NULL as 0
  bool isNull(const std::string& sql);    // whether that value is NULL
  std::int64_t count(const std::string& table);

  void setFifo(std::optional<int> isififo);  // the N_ISI row; nullopt writes ISIFIFO NULL
  void blockDay(DateTime day);
  int goods(const std::string& name = "Prece", double salePrice = 0, std::optional<std::string> service = {});
  int goodsWithKey(int key, const std::string& name = "Prece", double salePrice = 0,
                   std::optional<std::string> service = {});

  int receipt(const ReceiptLine& line);
  int transfer(const TransferLine& line);
  int issue(const IssueLine& line);
  int returned(const ReturnLine& line);
  int balance(const BalanceLine& line);

  // Cost columns as the tool wrote them (the kind's cost column).
  double lineCost(DocumentKind kind, int line);
  double issueCost(int line);
  double transferCost(int line);
  double returnCost(int line);
  double balanceCost(int line);

 private:
  int nextKey() { return nextKey_++; }
  // Writes the header and the line and commits; returns line.
  int write(KindRows rows, int line);
  TempDir dir_;
  std::string path_;
  Connection connection_;
  int nextKey_ = 1000;
};

}  // namespace talvix::test
