#include "support/test_database.h"

#include "data/query.h"
#include "data/schema.h"

#include <filesystem>
#include <mutex>
#include <unistd.h>

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

void bindCost(Query& q, const char* name, const Cost& cost) {
  if (cost) q.setDouble(name, *cost); else q.setNull(name);
}

void bindKey(Query& q, const char* name, int key) {
  if (key) q.setInteger(name, key); else q.setNull(name);
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
  if (isififo) q.setInteger("ISIFIFO", *isififo); else q.setNull("ISIFIFO");
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

int TestDatabase::goodsWithKey(int key, const std::string& name, double salePrice,
                               std::optional<std::string> service) {
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
  Query q(connection_);
  q.setSql("INSERT INTO O_PAVADZ (ISN, DAT_SANEM, ISNODALA) VALUES (:ISN, :DATUMS, :ISNODALA)");
  q.setInteger("ISN", header);
  q.setDateTime("DATUMS", l.date);
  q.setInteger("ISNODALA", l.dept);
  q.execSql();
  q.setSql("INSERT INTO O_PRECE (ISN, ISPAVADZ, ISPRECE, DAUDZUMS, CENA, ATLAIDE, ISSERTIF) "
           "VALUES (:ISN, :H, :ISPRECE, :DAUDZUMS, :CENA, :ATLAIDE, :ISSERTIF)");
  q.setInteger("ISN", line);
  q.setInteger("H", header);
  q.setInteger("ISPRECE", l.goods);
  q.setDouble("DAUDZUMS", l.qty);
  q.setDouble("CENA", l.price);
  bindCost(q, "ATLAIDE", l.discount);
  bindKey(q, "ISSERTIF", l.serial);
  q.execSql();
  connection_.defaultTransaction().commitRetaining();
  return line;
}

int TestDatabase::transfer(const TransferLine& l) {
  const int header = nextKey(), line = nextKey();
  Query q(connection_);
  q.setSql("INSERT INTO O_PARPAV (ISN, DATUMS, ISNODALANO, ISNODALAUZ) VALUES (:ISN, :DATUMS, :NO, :UZ)");
  q.setInteger("ISN", header);
  q.setDateTime("DATUMS", l.date);
  q.setInteger("NO", l.from);
  q.setInteger("UZ", l.to);
  q.execSql();
  q.setSql("INSERT INTO O_PARPRC (ISN, ISPARVPAV, ISPRECE, DAUDZUMS, CENA, NODOKLIS, ISSERTIF) "
           "VALUES (:ISN, :H, :ISPRECE, :DAUDZUMS, :CENA, :NODOKLIS, :ISSERTIF)");
  q.setInteger("ISN", line);
  q.setInteger("H", header);
  q.setInteger("ISPRECE", l.goods);
  q.setDouble("DAUDZUMS", l.qty);
  bindCost(q, "CENA", l.cost);
  q.setDouble("NODOKLIS", l.tax);
  bindKey(q, "ISSERTIF", l.serial);
  q.execSql();
  connection_.defaultTransaction().commitRetaining();
  return line;
}

int TestDatabase::issue(const IssueLine& l) {
  const int header = nextKey(), line = nextKey();
  Query q(connection_);
  q.setSql("INSERT INTO O_PAVOUT (ISN, DATUMS, ISNODALA, ISKLIENT) VALUES (:ISN, :DATUMS, :ISNODALA, :ISKLIENT)");
  q.setInteger("ISN", header);
  q.setDateTime("DATUMS", l.date);
  q.setInteger("ISNODALA", l.dept);
  bindKey(q, "ISKLIENT", l.client);
  q.execSql();
  q.setSql("INSERT INTO O_PRCOUT (ISN, ISPAVOUT, ISPRECE, DAUDZUMS, IEP_CENA, CENA, PIECENOJ, NODOKLIS, ISSERTIF) "
           "VALUES (:ISN, :H, :ISPRECE, :DAUDZUMS, :IEP_CENA, :CENA, :PIECENOJ, :NODOKLIS, :ISSERTIF)");
  q.setInteger("ISN", line);
  q.setInteger("H", header);
  q.setInteger("ISPRECE", l.goods);
  q.setDouble("DAUDZUMS", l.qty);
  bindCost(q, "IEP_CENA", l.cost);
  q.setDouble("CENA", l.price);
  q.setDouble("PIECENOJ", l.markup);
  q.setDouble("NODOKLIS", l.tax);
  bindKey(q, "ISSERTIF", l.serial);
  q.execSql();
  connection_.defaultTransaction().commitRetaining();
  return line;
}

int TestDatabase::returned(const ReturnLine& l) {
  const int header = nextKey(), line = nextKey();
  Query q(connection_);
  q.setSql("INSERT INTO O_ATGPAV (ISN, DATUMS, ISNODALA, ISKLIENT, FROM_WHAT) "
           "VALUES (:ISN, :DATUMS, :ISNODALA, :ISKLIENT, :FROM_WHAT)");
  q.setInteger("ISN", header);
  q.setDateTime("DATUMS", l.date);
  q.setInteger("ISNODALA", l.dept);
  bindKey(q, "ISKLIENT", l.client);
  if (l.fromWhat) q.setInteger("FROM_WHAT", *l.fromWhat); else q.setNull("FROM_WHAT");
  q.execSql();
  q.setSql("INSERT INTO O_ATGPRC (ISN, ISATGPAV, ISPRECE, DAUDZUMS, IEP_CENA, CENA, PIECENOJ, ISSERTIF) "
           "VALUES (:ISN, :H, :ISPRECE, :DAUDZUMS, :IEP_CENA, :CENA, :PIECENOJ, :ISSERTIF)");
  q.setInteger("ISN", line);
  q.setInteger("H", header);
  q.setInteger("ISPRECE", l.goods);
  q.setDouble("DAUDZUMS", l.qty);
  bindCost(q, "IEP_CENA", l.cost);
  q.setDouble("CENA", l.price);
  q.setDouble("PIECENOJ", l.markup);
  bindKey(q, "ISSERTIF", l.serial);
  q.execSql();
  connection_.defaultTransaction().commitRetaining();
  return line;
}

int TestDatabase::balance(const BalanceLine& l) {
  const int header = nextKey(), line = nextKey();
  Query q(connection_);
  q.setSql("INSERT INTO O_PRATL_PAV (ISN, DATUMS, ISNODALA, NEAPSTIPR) VALUES (:ISN, :DATUMS, :ISNODALA, " +
           (l.unconfirmed ? "'" + *l.unconfirmed + "'" : std::string("NULL")) + ")");
  q.setInteger("ISN", header);
  q.setDateTime("DATUMS", l.date);
  q.setInteger("ISNODALA", l.dept);
  q.execSql();
  q.setSql("INSERT INTO O_PRATL_PRC (ISN, ISPRATLPAV, ISPRECE, DAUDZUMS, IEP_CENA, ISSERTIF) "
           "VALUES (:ISN, :H, :ISPRECE, :DAUDZUMS, :IEP_CENA, :ISSERTIF)");
  q.setInteger("ISN", line);
  q.setInteger("H", header);
  q.setInteger("ISPRECE", l.goods);
  q.setDouble("DAUDZUMS", l.qty);
  bindCost(q, "IEP_CENA", l.cost);
  bindKey(q, "ISSERTIF", l.serial);
  q.execSql();
  connection_.defaultTransaction().commitRetaining();
  return line;
}

double TestDatabase::issueCost(int line) {
  return scalar("SELECT IEP_CENA FROM O_PRCOUT WHERE ISN=" + std::to_string(line));
}
double TestDatabase::transferCost(int line) {
  return scalar("SELECT CENA FROM O_PARPRC WHERE ISN=" + std::to_string(line));
}
double TestDatabase::returnCost(int line) {
  return scalar("SELECT IEP_CENA FROM O_ATGPRC WHERE ISN=" + std::to_string(line));
}
double TestDatabase::balanceCost(int line) {
  return scalar("SELECT IEP_CENA FROM O_PRATL_PRC WHERE ISN=" + std::to_string(line));
}

}  // namespace talvix::test
