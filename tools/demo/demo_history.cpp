#include "tools/demo/demo_history.h"

#include "data/connection.h"
#include "data/document_tables.h"
#include "data/query.h"
#include "data/schema.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace talvix::demo {
namespace {

constexpr int kCentral = 1;   // the warehouse that takes most receipts and feeds the shops
constexpr int kClients = 300;
constexpr double kTax = 21.0;
constexpr int kFirstSerial = 1001;  // serial records above 10 are real ones
constexpr int kBlockedDays = 3;
constexpr int kNoValue = -1;  // written as NULL

const char* const kWords[] = {"Kafija", "Tēja", "Cukurs", "Milti", "Eļļa", "Sviests", "Siers", "Maize", "Ziepes",
                              "Papīrs", "Tālrunis", "Lampa", "Krēsls", "Galds", "Kabelis", "Akumulators"};
const char* const kServiceWords[] = {"Piegāde", "Uzstādīšana", "Konsultācija", "Remonts"};

struct Goods {
  double price = 1;  // current purchase price
  double salePrice = 1;  // CENA1, tax included
  bool service = false;
  bool serial = false;
};

struct Sale {
  int goods;
  double price;
  double markup;
};

double round2(double v) { return std::round(v * 100.0) / 100.0; }

// "INSERT INTO <header> (ISN, <date>, <department><more>) VALUES (:ISN, :DATUMS, :A<values>)".
std::string headerInsert(DocumentKind kind, const std::string& more, const std::string& values) {
  const DocumentTables& t = tablesOf(kind);
  return std::string("INSERT INTO ") + t.header + " (ISN, " + t.date + ", " + t.dept + more +
         ") VALUES (:ISN, :DATUMS, :A" + values + ")";
}

// "INSERT INTO <lines> (ISN, <header key>, ISPRECE, DAUDZUMS, <cost><more>) VALUES (:ISN, :DOC, :G,
// :Q, <cost><values>)".
std::string lineInsert(DocumentKind kind, const std::string& cost, const std::string& more, const std::string& values) {
  const DocumentTables& t = tablesOf(kind);
  return std::string("INSERT INTO ") + t.lines + " (ISN, " + t.headerKey + ", ISPRECE, DAUDZUMS, " + t.cost + more +
         ") VALUES (:ISN, :DOC, :G, :Q, " + cost + values + ")";
}

// ", A, B, ..." of the columns given.
std::string more(std::initializer_list<const char*> columns) {
  std::string text;
  for (const char* column : columns) text += std::string(", ") + column;
  return text;
}

class Writer {
 public:
  Writer(Connection& c, const HistoryShape& shape) : c_(c), shape_(shape), rng_(shape.seed) {}

  HistoryCounts run() {
    const DateTime last = shape_.lastDay > 0 ? wholeDate(shape_.lastDay) : todayLocal();
    const DateTime first = last - shape_.days + 1;
    makeCatalogue();
    exec("INSERT INTO N_ISI (ISN, ISIFIFO, NEPARBBLOK) VALUES (1, " + std::to_string(shape_.fifoMethod) + ", 0)");
    for (int i = 0; i < kBlockedDays && i < shape_.days; ++i) blockDay(first + i);
    for (int d = 1; d <= shape_.departments; ++d) openingBalance(first, d);
    const double perDay = std::max(1.0, static_cast<double>(shape_.lines - counts_.balances) / shape_.days);
    for (int day = 0; day < shape_.days; ++day) {
      const DateTime date = first + day;
      receipts(date, perDay * 0.06);
      transfers(date, perDay * 0.09);
      returns(date, perDay * 0.015);
      issues(date, perDay * 0.835);
      c_.defaultTransaction().commitRetaining();
    }
    c_.defaultTransaction().commit();
    return counts_;
  }

 private:
  int key() { return nextKey_++; }
  double uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng_); }
  int pick(int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng_); }
  bool chance(double p) { return uniform(0, 1) < p; }
  long count(double mean) { return static_cast<long>(std::poisson_distribution<long>(std::max(0.01, mean))(rng_)); }

  void exec(const std::string& sql) {
    Query q(c_);
    q.setSql(sql);
    q.execSql();
  }

  Query& prepared(const std::string& sql) {
    auto& slot = queries_[sql];
    if (!slot) {
      slot = std::make_unique<Query>(c_);
      slot->setSql(sql);
    }
    return *slot;
  }

  void makeCatalogue() {
    goods_.resize(static_cast<std::size_t>(shape_.goods) + 1);
    for (int g = 1; g <= shape_.goods; ++g) {
      Goods& item = goods_[g];
      item.service = chance(shape_.servicesShare);
      item.serial = !item.service && chance(shape_.serialShare);
      item.price = round2(std::exp(uniform(std::log(0.5), std::log(item.serial ? 600.0 : 80.0))));
      item.salePrice = round2(item.price * uniform(1.2, 1.8) * (1 + kTax / 100));
      const std::string name = item.service ? kServiceWords[g % 4] : kWords[g % 16];
      // The name is made of fixed words and digits only, so it is safe inside the literal.
      Query insert(c_);
      insert.setSql("INSERT INTO N_KLPREC (ISN, NOSAUKUMS, PAKALPOJ, CENA1) VALUES (:ISN, '" + name + " " +
                    std::to_string(g) + "', " + (item.service ? "'T'" : (g % 2 ? "'F'" : "NULL")) + ", :CENA1)");
      insert.setInteger("ISN", g);
      insert.setDouble("CENA1", item.salePrice);
      insert.execSql();
      if (!item.service) stockable_.push_back(g);
    }
  }

  void blockDay(DateTime day) {
    Query& q = prepared("INSERT INTO N_BLOKDIENAS (ISN, DATUMS) VALUES (:ISN, :DATUMS)");
    q.setInteger("ISN", key());
    q.setDateTime("DATUMS", day);
    q.execSql();
  }

  double& stock(int g, int d) { return stock_[static_cast<long>(g) * 1000 + d]; }

  int header(const std::string& sql, DateTime date, int dept, int other, int extra = kNoValue) {
    Query& q = prepared(sql);
    const int isn = key();
    q.setInteger("ISN", isn);
    q.setDateTime("DATUMS", date);
    q.setInteger("A", dept);
    if (q.hasParameter("B")) {
      if (other) q.setInteger("B", other); else q.setNull("B");
    }
    if (q.hasParameter("C")) {
      if (extra != kNoValue) q.setInteger("C", extra); else q.setNull("C");
    }
    q.execSql();
    return isn;
  }

  // The first delivery of a department and the goods-balance document that counts it: the
  // delivery gives the count a cost to start from, also when the count's own costs are reset.
  void openingBalance(DateTime date, int dept) {
    const int receipt =
        header("INSERT INTO O_PAVADZ (ISN, DAT_SANEM, ISNODALA) VALUES (:ISN, :DATUMS, :A)", date, dept, 0);
    const int doc = header(headerInsert(DocumentKind::Balance, more({"NEAPSTIPR"}), ", NULL"), date, dept, 0);
    Query& delivered = prepared("INSERT INTO O_PRECE (ISN, ISPAVADZ, ISPRECE, DAUDZUMS, CENA, ATLAIDE, ISSERTIF) "
                                "VALUES (:ISN, :DOC, :G, :Q, :CENA, 0, NULL)");
    Query& counted = prepared(lineInsert(DocumentKind::Balance, ":COST", more({"ISSERTIF"}), ", NULL"));
    for (int g : stockable_) {
      if (goods_[g].serial || !chance(dept == kCentral ? 0.9 : 0.5)) continue;
      const double qty = std::floor(uniform(5, dept == kCentral ? 120 : 40));
      delivered.setInteger("ISN", key());
      delivered.setInteger("DOC", receipt);
      delivered.setInteger("G", g);
      delivered.setDouble("Q", qty);
      delivered.setDouble("CENA", goods_[g].price);
      delivered.execSql();
      counted.setInteger("ISN", key());
      counted.setInteger("DOC", doc);
      counted.setInteger("G", g);
      counted.setDouble("Q", qty);
      counted.setDouble("COST", chance(0.9) ? goods_[g].price : 0.0);
      counted.execSql();
      stock(g, dept) += 2 * qty;
      ++counts_.receipts;
      ++counts_.balances;
    }
  }

  void receipts(DateTime date, double mean) {
    long lines = count(mean);
    Query& line = prepared("INSERT INTO O_PRECE (ISN, ISPAVADZ, ISPRECE, DAUDZUMS, CENA, ATLAIDE, ISSERTIF) "
                           "VALUES (:ISN, :DOC, :G, :Q, :CENA, :ATLAIDE, :SERT)");
    while (lines > 0) {
      const int dept = chance(0.8) ? kCentral : pick(1, shape_.departments);
      const int doc = header("INSERT INTO O_PAVADZ (ISN, DAT_SANEM, ISNODALA) VALUES (:ISN, :DATUMS, :A)", date, dept, 0);
      for (long n = std::min<long>(lines, pick(1, 8)); n > 0; --n, --lines) {
        const int g = stockable_[static_cast<std::size_t>(pick(0, static_cast<int>(stockable_.size()) - 1))];
        Goods& item = goods_[g];
        item.price = round2(std::max(0.05, item.price * (1 + std::normal_distribution<double>(0, 0.03)(rng_))));
        const double qty = item.serial ? 1 : std::floor(uniform(10, 100));
        line.setInteger("ISN", key());
        line.setInteger("DOC", doc);
        line.setInteger("G", g);
        line.setDouble("Q", qty);
        line.setDouble("CENA", item.price);
        const double u = uniform(0, 1);
        if (u < 0.05) line.setNull("ATLAIDE"); else line.setDouble("ATLAIDE", u < 0.2 ? -5.0 : 0.0);
        if (item.serial) {
          const int serial = nextSerial_++;
          line.setInteger("SERT", serial);
          serials_[g * 1000L + dept].push_back(serial);
        } else {
          line.setNull("SERT");
        }
        line.execSql();
        stock(g, dept) += qty;
        ++counts_.receipts;
      }
    }
  }

  // A goods the department holds, or 0 after a few misses.
  int inStock(int dept) {
    for (int tries = 0; tries < 8; ++tries) {
      const int g = stockable_[static_cast<std::size_t>(pick(0, static_cast<int>(stockable_.size()) - 1))];
      if (stock(g, dept) >= 1) return g;
    }
    return 0;
  }

  int takeSerial(int g, int dept) {
    auto& units = serials_[g * 1000L + dept];
    if (units.empty()) return 0;
    const int serial = units.back();
    units.pop_back();
    return serial;
  }

  void transfers(DateTime date, double mean) {
    if (shape_.departments < 2) return;
    long lines = count(mean);
    const DocumentTables& t = tablesOf(DocumentKind::Transfer);
    Query& line = prepared(lineInsert(DocumentKind::Transfer, "0", more({t.tax, "ISSERTIF"}), ", :TAX, :SERT"));
    while (lines > 0) {
      const int to = pick(2, shape_.departments);
      const int doc = header(headerInsert(DocumentKind::Transfer, more({"ISNODALAUZ"}), ", :B"), date, kCentral, to);
      for (long n = std::min<long>(lines, pick(1, 10)); n > 0; --n, --lines) {
        const int g = inStock(kCentral);
        if (!g) continue;
        const bool serial = goods_[g].serial;
        const int unit = serial ? takeSerial(g, kCentral) : 0;
        const double qty = serial ? 1 : std::min(stock(g, kCentral), std::floor(uniform(1, 20)));
        if (serial && !unit) continue;
        line.setInteger("ISN", key());
        line.setInteger("DOC", doc);
        line.setInteger("G", g);
        line.setDouble("Q", qty);
        line.setDouble("TAX", kTax);
        if (unit) line.setInteger("SERT", unit); else line.setNull("SERT");
        line.execSql();
        stock(g, kCentral) -= qty;
        stock(g, to) += qty;
        if (unit) serials_[g * 1000L + to].push_back(unit);
        ++counts_.transfers;
      }
    }
  }

  void issues(DateTime date, double mean) {
    long lines = count(mean);
    const DocumentTables& t = tablesOf(DocumentKind::Issue);
    Query& line = prepared(lineInsert(DocumentKind::Issue, "0", more({t.salePrice, t.markup, t.tax, "ISSERTIF"}),
                                      ", :CENA, :PIECENOJ, :TAX, :SERT"));
    while (lines > 0) {
      const int dept = pick(1, shape_.departments);
      const int client = chance(0.8) ? pick(1, kClients) : 0;
      const int doc = header(headerInsert(DocumentKind::Issue, more({t.client}), ", :B"), date, dept, client);
      for (long n = std::min<long>(lines, pick(1, 6)); n > 0; --n, --lines) {
        int g = 0;
        double qty = 0, price = 0, markup = 0;
        int unit = 0;
        auto& bought = sales_[client];
        if (client && !bought.empty() && chance(0.03)) {  // a line that takes goods back
          const Sale& sale = bought[static_cast<std::size_t>(pick(0, static_cast<int>(bought.size()) - 1))];
          g = sale.goods;
          qty = -1;
          price = sale.price;
          markup = sale.markup;
        } else if (chance(0.04)) {  // a service: no stock
          g = pick(1, shape_.goods);
          if (!goods_[g].service) continue;
          qty = 1;
        } else {
          g = inStock(dept);
          if (!g) continue;
          if (goods_[g].serial) {
            unit = takeSerial(g, dept);
            if (!unit) continue;
            qty = 1;
          } else {
            qty = std::min(stock(g, dept), std::floor(uniform(1, 6)));
          }
        }
        if (qty > 0) {
          price = round2(goods_[g].salePrice / (1 + kTax / 100));
          markup = chance(0.1) ? 10.0 : 0.0;
        }
        line.setInteger("ISN", key());
        line.setInteger("DOC", doc);
        line.setInteger("G", g);
        line.setDouble("Q", qty);
        line.setDouble("CENA", price);
        line.setDouble("PIECENOJ", markup);
        line.setDouble("TAX", kTax);
        if (unit) line.setInteger("SERT", unit); else line.setNull("SERT");
        line.execSql();
        if (!goods_[g].service) stock(g, dept) -= qty;
        if (client && qty > 0 && !goods_[g].serial) bought.push_back({g, price, markup});
        ++counts_.issues;
      }
    }
  }

  void returns(DateTime date, double mean) {
    long lines = count(mean);
    const DocumentTables& t = tablesOf(DocumentKind::Return);
    Query& line = prepared(
        lineInsert(DocumentKind::Return, "0", more({t.salePrice, t.markup, "ISSERTIF"}), ", :CENA, :PIECENOJ, NULL"));
    while (lines-- > 0) {
      const int client = pick(1, kClients);
      const auto& bought = sales_[client];
      if (bought.empty()) continue;
      const Sale& sale = bought[static_cast<std::size_t>(pick(0, static_cast<int>(bought.size()) - 1))];
      const int dept = pick(1, shape_.departments);
      const double u = uniform(0, 1);
      const int origin = u < 0.8 ? 2 : u < 0.9 ? 1 : kNoValue;
      const int doc = header(headerInsert(DocumentKind::Return, more({t.client, t.origin}), ", :B, :C"), date, dept,
                             client, origin);
      line.setInteger("ISN", key());
      line.setInteger("DOC", doc);
      line.setInteger("G", sale.goods);
      line.setDouble("Q", 1);
      line.setDouble("CENA", sale.price);
      line.setDouble("PIECENOJ", sale.markup);
      line.execSql();
      stock(sale.goods, dept) += 1;
      ++counts_.returns;
    }
  }

  Connection& c_;
  const HistoryShape& shape_;
  std::mt19937_64 rng_;
  std::map<std::string, std::unique_ptr<Query>> queries_;
  std::vector<Goods> goods_;
  std::vector<int> stockable_;
  std::map<long, double> stock_;
  std::map<long, std::vector<int>> serials_;
  std::map<int, std::vector<Sale>> sales_;
  HistoryCounts counts_;
  int nextKey_ = 100000;
  int nextSerial_ = kFirstSerial;
};

// The indexes were made on empty tables, so the optimizer would take every one for useless and
// scan whole tables; a database restored from a backup, as the suite's are, has them measured.
void refreshIndexStatistics(Connection& connection) {
  Query indexes(connection);
  indexes.setSql("SELECT TRIM(RDB$INDEX_NAME) FROM RDB$INDICES WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0");
  indexes.open();
  for (indexes.first(); !indexes.eof(); indexes.next())
    connection.executeImmediate("SET STATISTICS INDEX " + indexes.asString(0));
  connection.defaultTransaction().commit();
}

}  // namespace

HistoryCounts makeDemoDatabase(const std::string& databaseName, const HistoryShape& shape) {
  createStockDatabase(databaseName);
  // Synchronous writes would make a ten-year history take minutes; they return once it is whole.
  setForcedWrites(databaseName, false);
  Connection connection;
  connection.setDatabaseName(databaseName);
  connection.open();
  Writer writer(connection, shape);
  const HistoryCounts counts = writer.run();
  refreshIndexStatistics(connection);
  connection.close();
  setForcedWrites(databaseName, true);
  return counts;
}

}  // namespace talvix::demo
