#include "stock_history.h"

#include "data/connection.h"
#include "data/query.h"
#include "data/schema.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

namespace talvix::bench {
namespace {

constexpr int kDepartments = 6;
constexpr int kDays = 365;
constexpr int kMovementsPerGoods = 60;
constexpr int kFixedGoodsBase = 900000;

// Prepared inserts for every document kind, executed in the connection's one transaction.
class DocumentWriter {
 public:
  explicit DocumentWriter(Connection& c)
      : goods_(c), receiptHead_(c), receiptLine_(c), transferHead_(c), transferLine_(c), issueHead_(c),
        issueLine_(c), returnHead_(c), returnLine_(c), balanceHead_(c), balanceLine_(c) {
    goods_.setSql("INSERT INTO N_KLPREC (ISN, NOSAUKUMS, CENA1) VALUES (:ISN, 'Prece', :CENA)");
    receiptHead_.setSql("INSERT INTO O_PAVADZ (ISN, DAT_SANEM, ISNODALA) VALUES (:ISN, :D, :DEPT)");
    receiptLine_.setSql("INSERT INTO O_PRECE (ISN, ISPAVADZ, ISPRECE, DAUDZUMS, CENA, ATLAIDE) "
                        "VALUES (:ISN, :H, :G, :Q, :C, :A)");
    transferHead_.setSql("INSERT INTO O_PARPAV (ISN, DATUMS, ISNODALANO, ISNODALAUZ) VALUES (:ISN, :D, :NO, :UZ)");
    transferLine_.setSql("INSERT INTO O_PARPRC (ISN, ISPARVPAV, ISPRECE, DAUDZUMS, CENA, NODOKLIS) "
                         "VALUES (:ISN, :H, :G, :Q, :C, 21)");
    issueHead_.setSql("INSERT INTO O_PAVOUT (ISN, DATUMS, ISNODALA) VALUES (:ISN, :D, :DEPT)");
    issueLine_.setSql("INSERT INTO O_PRCOUT (ISN, ISPAVOUT, ISPRECE, DAUDZUMS, IEP_CENA, CENA, NODOKLIS) "
                      "VALUES (:ISN, :H, :G, :Q, 0, :C, 21)");
    returnHead_.setSql("INSERT INTO O_ATGPAV (ISN, DATUMS, ISNODALA, FROM_WHAT) VALUES (:ISN, :D, :DEPT, 2)");
    returnLine_.setSql("INSERT INTO O_ATGPRC (ISN, ISATGPAV, ISPRECE, DAUDZUMS, IEP_CENA) "
                       "VALUES (:ISN, :H, :G, :Q, :C)");
    balanceHead_.setSql("INSERT INTO O_PRATL_PAV (ISN, DATUMS, ISNODALA) VALUES (:ISN, :D, :DEPT)");
    balanceLine_.setSql("INSERT INTO O_PRATL_PRC (ISN, ISPRATLPAV, ISPRECE, DAUDZUMS, IEP_CENA) "
                        "VALUES (:ISN, :H, :G, :Q, :C)");
  }

  void goods(int key, double salePrice) {
    goods_.setInteger("ISN", key);
    goods_.setDouble("CENA", salePrice);
    goods_.execSql();
  }
  void receipt(DateTime d, int dept, int g, double q, double c) {
    head(receiptHead_, d, dept);
    line(receiptLine_, g, q, c);
    receiptLine_.setDouble("A", 0);
    receiptLine_.execSql();
  }
  void transfer(DateTime d, int from, int to, int g, double q, double c) {
    transferHead_.setInteger("ISN", ++key_);
    transferHead_.setDateTime("D", d);
    transferHead_.setInteger("NO", from);
    transferHead_.setInteger("UZ", to);
    transferHead_.execSql();
    line(transferLine_, g, q, c);
    transferLine_.execSql();
  }
  void issue(DateTime d, int dept, int g, double q, double salePrice) {
    write(issueHead_, issueLine_, d, dept, g, q, salePrice);
  }
  void returned(DateTime d, int dept, int g, double q, double c) { write(returnHead_, returnLine_, d, dept, g, q, c); }
  void balance(DateTime d, int dept, int g, double q, double c) { write(balanceHead_, balanceLine_, d, dept, g, q, c); }

 private:
  void head(Query& h, DateTime d, int dept) {
    h.setInteger("ISN", ++key_);
    h.setDateTime("D", d);
    h.setInteger("DEPT", dept);
    h.execSql();
  }
  void line(Query& l, int g, double q, double c) {
    l.setInteger("H", key_);
    l.setInteger("ISN", ++key_);
    l.setInteger("G", g);
    l.setDouble("Q", q);
    l.setDouble("C", c);
  }
  void write(Query& h, Query& l, DateTime d, int dept, int g, double q, double c) {
    head(h, d, dept);
    line(l, g, q, c);
    l.execSql();
  }

  Query goods_, receiptHead_, receiptLine_, transferHead_, transferLine_, issueHead_, issueLine_, returnHead_,
      returnLine_, balanceHead_, balanceLine_;
  int key_ = 0;
};

class Generator {
 public:
  Generator(DocumentWriter& writer, unsigned seed) : writer_(writer), rng_(seed) {}

  // One movement of goods g on day d in one of the departments given; outflows only from stock.
  void move(int g, int day, int deptChoices, StockHistory& history) {
    const int dept = 1 + pick(deptChoices);
    double& held = stock_[{g, dept}];
    const DateTime date = start() + day + uniform(0, 0.9);
    const int kind = pick(100);
    if (kind < 45 && held >= 1) {
      const double q = std::ceil(uniform(0, std::min(held, 10.0)));
      writer_.issue(date, dept, g, q, money() * 1.5);
      held -= q;
      history.outflowDays.push_back({g, dept, start() + day});
    } else if (kind < 58 && held >= 1 && deptChoices > 1) {
      const int to = 1 + (dept % deptChoices);
      const double q = std::ceil(uniform(0, held));
      writer_.transfer(date, dept, to, g, q, money());
      held -= q;
      stock_[{g, to}] += q;
      history.outflowDays.push_back({g, dept, start() + day});
    } else if (kind < 63) {
      const double q = 1 + pick(3);
      writer_.returned(date, dept, g, q, money());
      held += q;
    } else if (kind < 66) {
      const double q = 1 + pick(20);
      writer_.balance(date, dept, g, q, money());
      held += q;
    } else {
      const double q = 1 + pick(20);
      writer_.receipt(date, dept, g, q, money());
      held += q;
    }
    ++history.movements;
  }

  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  static DateTime start() { return makeDate(2025, 1, 1); }

 private:
  double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  double money() { return std::round(uniform(0.5, 80) * 100) / 100; }

  DocumentWriter& writer_;
  std::mt19937 rng_;
  std::map<std::pair<int, int>, double> stock_;
};

}  // namespace

StockHistory writeStockHistory(const std::string& path, int movements, const std::vector<int>& fixedLengths,
                               unsigned seed) {
  createStockDatabase(path);
  Connection connection;
  connection.setDatabaseName(path);
  connection.open();
  StockHistory history;
  {
    DocumentWriter writer(connection);
    Generator generator(writer, seed);

    int fixedTotal = 0;
    for (std::size_t i = 0; i < fixedLengths.size(); ++i) {
      const int g = kFixedGoodsBase + static_cast<int>(i);
      writer.goods(g, 10);
      // Spread over the year, several a day when the history is long; the first is a receipt.
      for (int n = 0; n < fixedLengths[i]; ++n)
        generator.move(g, static_cast<int>(static_cast<long>(n) * kDays / fixedLengths[i]), 1, history);
      history.lengthToGoods.emplace_back(fixedLengths[i], g);
      fixedTotal += fixedLengths[i];
    }
    const std::size_t fixedOutflows = history.outflowDays.size();

    const int goodsCount = std::max(1, (movements - fixedTotal) / kMovementsPerGoods);
    for (int g = 1; g <= goodsCount; ++g) writer.goods(g, 10);
    // Day by day, so that outflows only take what earlier days brought.
    const long general = std::max(0, movements - fixedTotal);
    for (int day = 0; day < kDays; ++day)
      while (history.movements - fixedTotal < general * (day + 1) / kDays)
        generator.move(1 + generator.pick(goodsCount), day, kDepartments, history);
    // The general sample leaves out the fixed-length goods, which are measured on their own.
    history.outflowDays.erase(history.outflowDays.begin(),
                              history.outflowDays.begin() + static_cast<std::ptrdiff_t>(fixedOutflows));
  }
  connection.defaultTransaction().commit();
  connection.close();
  history.lastDay = Generator::start() + kDays - 1;
  return history;
}

}  // namespace talvix::bench
