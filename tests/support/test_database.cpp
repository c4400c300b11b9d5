#include "support/test_database.h"

#include "data/query.h"
#include "data/schema.h"

#include <unistd.h>
#include <filesystem>
#include <mutex>

namespace talvix::test {
namespace {

// One template per test program, removed when the program ends.
const std::string& templatePath() {
  static TempDir* dir = nullptr;
  static std::string path;
  static std::once_flag once;
  std::call_once(once, [] {
    dir = new TempDir();
    path = dir->file("template.fdb");
    createStockDatabase(path);
    std::atexit([] { delete dir; });
  });
  return path;
}

}  // namespace

TestDatabase::TestDatabase() : path_(dir_.file("stock.fdb")) {
  std::filesystem::copy_file(templatePath(), path_);
  connection_.setDatabaseName(path_);
  connection_.open();
}

void TestDatabase::exec(const std::string& sql) {
  Query q(connection_);
  q.setSql(sql);
  q.execSql();
  connection_.defaultTransaction().commitRetaining();
}

double TestDatabase::scalar(const std::string& sql) {
  Query q(connection_);
  q.setSql(sql);
  q.open();
  return q.eof() ? 0.0 : q.asDouble(0);
}

bool TestDatabase::isNull(const std::string& sql) {
  Query q(connection_);
  q.setSql(sql);
  q.open();
  return q.eof() || q.isNull(0);
}

std::int64_t TestDatabase::count(const std::string& table) {
  return static_cast<std::int64_t>(scalar("SELECT COUNT(*) FROM " + table));
}

void TestDatabase::setFifo(std::optional<int> isififo) {
  exec("DELETE FROM N_ISI");
  Query q(connection_);
  q.setSql("INSERT INTO N_ISI (ISN, ISIFIFO, NEPARBBLOK) VALUES (1, :ISIFIFO, 0)");
  if (isififo)
    q.setInteger("ISIFIFO", *isififo);
  else
    q.setNull("ISIFIFO");
  q.execSql();
  connection_.defaultTransaction().commitRetaining();
}

void TestDatabase::blockDay(DateTime day) {
  Query q(connection_);
  q.setSql("INSERT INTO N_BLOKDIENAS (ISN, DATUMS) VALUES (:ISN, :DATUMS)");
  q.setInteger("ISN", nextKey());
  q.setDateTime("DATUMS", day);
  q.execSql();
  connection_.defaultTransaction().commitRetaining();
}

int TestDatabase::goods(const std::string& name, double salePrice, std::optional<std::string> service) {
  return goodsWithKey(nextKey(), name, salePrice, std::move(service));
}

int TestDatabase::goodsWithKey(int key, const std::string& name, double salePrice, std::optional<std::string> service) {
  Query q(connection_);
  q.setSql("INSERT INTO N_KLPREC (ISN, NOSAUKUMS, CENA1, PAKALPOJ) VALUES (:ISN, '" + name + "', :CENA, " +
           (service ? "'" + *service + "'" : std::string("NULL")) + ")");
  q.setInteger("ISN", key);
  q.setDouble("CENA", salePrice);
  q.execSql();
  connection_.defaultTransaction().commitRetaining();
  return key;
}

int TestDatabase::receipt(const ReceiptLine& l) {
  const int header = nextKey(), line = nextKey();
  RowInsert(kReceiptHeaderTable)
      .integer("ISN", header)
      .date(kReceiptDateColumn, l.date)
      .integer(kReceiptDeptColumn, l.dept)
      .exec(connection_);
  RowInsert(kReceiptLinesTable)
      .integer("ISN", line)
      .integer(kReceiptHeaderKeyColumn, header)
      .integer("ISPRECE", l.goods)
      .number("DAUDZUMS", l.qty)
      .number(kReceiptPriceColumn, l.price)
      .number(kReceiptDiscountColumn, l.discount)
      .key("ISSERTIF", l.serial)
      .exec(connection_);
  connection_.defaultTransaction().commitRetaining();
  return line;
}

int TestDatabase::write(KindRows rows, int line) {
  rows.header.exec(connection_);
  rows.line.exec(connection_);
  connection_.defaultTransaction().commitRetaining();
  return line;
}

int TestDatabase::transfer(const TransferLine& l) {
  const int header = nextKey(), line = nextKey();
  const DocumentTables& t = tablesOf(DocumentKind::Transfer);
  KindRows rows = kindRows(DocumentKind::Transfer, header, l.date, l.from, line, l.goods, l.qty, l.serial);
  rows.header.integer(kTransferReceiverColumn, l.to);
  rows.line.number(t.cost, l.cost).number(t.tax, l.tax);
  return write(std::move(rows), line);
}

int TestDatabase::issue(const IssueLine& l) {
  const int header = nextKey(), line = nextKey();
  const DocumentTables& t = tablesOf(DocumentKind::Issue);
  KindRows rows = kindRows(DocumentKind::Issue, header, l.date, l.dept, line, l.goods, l.qty, l.serial);
  rows.header.key(t.client, l.client);
  rows.line.number(t.cost, l.cost).number(t.salePrice, l.price).number(t.markup, l.markup).number(t.tax, l.tax);
  return write(std::move(rows), line);
}

int TestDatabase::returned(const ReturnLine& l) {
  const int header = nextKey(), line = nextKey();
  const DocumentTables& t = tablesOf(DocumentKind::Return);
  KindRows rows = kindRows(DocumentKind::Return, header, l.date, l.dept, line, l.goods, l.qty, l.serial);
  rows.header.key(t.client, l.client).integer(t.origin, l.fromWhat);
  rows.line.number(t.cost, l.cost).number(t.salePrice, l.price).number(t.markup, l.markup);
  return write(std::move(rows), line);
}

int TestDatabase::balance(const BalanceLine& l) {
  const int header = nextKey(), line = nextKey();
  const DocumentTables& t = tablesOf(DocumentKind::Balance);
  KindRows rows = kindRows(DocumentKind::Balance, header, l.date, l.dept, line, l.goods, l.qty, l.serial);
  rows.header.text(kUnconfirmedColumn, l.unconfirmed);
  rows.line.number(t.cost, l.cost);
  return write(std::move(rows), line);
}

double TestDatabase::lineCost(DocumentKind kind, int line) {
  const DocumentTables& t = tablesOf(kind);
  return scalar(std::string("SELECT ") + t.cost + " FROM " + t.lines + " WHERE ISN=" + std::to_string(line));
}

double TestDatabase::issueCost(int line) { return lineCost(DocumentKind::Issue, line); }
double TestDatabase::transferCost(int line) { return lineCost(DocumentKind::Transfer, line); }
double TestDatabase::returnCost(int line) { return lineCost(DocumentKind::Return, line); }
double TestDatabase::balanceCost(int line) { return lineCost(DocumentKind::Balance, line); }

}  // namespace talvix::test
