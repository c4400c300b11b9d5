// The movement cache never changes an answer: on random histories, and while the tool writes costs,
// resets them, adds lines and rolls back, every operation answers bit for bit as the library that
// reads the database on every call. Also which writes the cache follows, ignores or gives up on.
#include "average/transfers_issues_weighted.h"
#include "data/query.h"
#include "step/price_lookups.h"
#include "pricing/write_statement.h"
#include "pricing_fixture.h"
#include "support/row_insert.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <numeric>
#include <optional>
#include <random>
#include <sstream>

namespace talvix::pricing {
namespace {

using Effect = WriteStatement::Effect;

TEST(WriteStatement, RecognisesTheToolsSingleLineCostUpdatesAndNothingWider) {
  struct Case {
    const char* sql;
    Effect effect;
    CostColumn column = CostColumn::TransferCena;
    const char* key = "";
    const char* value = "";
  };
  const std::vector<Case> cases = {
      {"UPDATE O_PARPRC SET CENA=:CENA WHERE ISN=:ISN", Effect::SingleRowCost, CostColumn::TransferCena, "ISN", "CENA"},
      {"UPDATE O_PARPRC SET O_PARPRC.CENA=0.0 WHERE ISN=:ISN", Effect::SingleRowCost, CostColumn::TransferCena, "ISN"},
      {"UPDATE O_ATGPRC SET IEP_CENA=:IEP_CENA WHERE ISN=:ISN", Effect::SingleRowCost, CostColumn::ReturnIepCena, "ISN",
       "IEP_CENA"},
      {"UPDATE O_PRATL_PRC SET IEP_CENA = :IEP_CENA WHERE ISN=:ISN", Effect::SingleRowCost, CostColumn::BalanceIepCena,
       "ISN", "IEP_CENA"},
      {"  update o_pratl_prc\n set o_pratl_prc.iep_cena =  0.00\twhere isn = :key ;", Effect::SingleRowCost,
       CostColumn::BalanceIepCena, "KEY"},
      {"UPDATE O_PARPRC SET CENA=:CENA WHERE O_PARPRC.ISN=:ISN", Effect::SingleRowCost, CostColumn::TransferCena, "ISN",
       "CENA"},
      // Issue costs are read by client-sale look-ups only: followed line by line, else those go.
      {"UPDATE O_PRCOUT SET IEP_CENA = :IEP_CENA WHERE ISN=:ISN", Effect::SingleRowCost, CostColumn::IssueIepCena,
       "ISN", "IEP_CENA"},
      {"UPDATE O_PRCOUT SET O_PRCOUT.IEP_CENA=0.0 WHERE ISN=:ISN", Effect::SingleRowCost, CostColumn::IssueIepCena,
       "ISN"},
      {"UPDATE O_PRCOUT SET O_PRCOUT.IEP_CENA=0.0 WHERE ISN IN (SELECT ISN FROM O_PRCOUT)", Effect::ClientSalesOnly},
      {"UPDATE O_PRCOUT SET PIECENOJ=:P WHERE ISN=:ISN", Effect::ClientSalesOnly},
      {"UPDATE O_PAVOUT SET ISKLIENT=:K WHERE ISN=:ISN", Effect::ClientSalesOnly},
      // The log and columns outside both change nothing the cache holds.
      {"UPDATE O_PRCOUT SET NODOKLIS=:N WHERE ISN=:ISN", Effect::None},
      {"INSERT INTO S_OPERACIJAS (ISN, NOSAUKUMS) VALUES (NEXT VALUE FOR S_OPERACIJAS_ISN, :NOSAUKUMS)", Effect::None},
      {"UPDATE N_KLPREC SET CENA1 = 5, NOSAUKUMS = 'x' WHERE ISN = 1", Effect::None},
      {"DELETE FROM N_BLOKDIENAS", Effect::None},
      // Anything else may have changed any movement.
      {"UPDATE O_PRATL_PRC SET O_PRATL_PRC.IEP_CENA=0.0 WHERE ISN IN (SELECT O_PRATL_PRC.ISN FROM O_PRATL_PRC)",
       Effect::Unknown},
      {"UPDATE O_PARPRC SET CENA=1.5 WHERE ISN=:ISN", Effect::Unknown},
      {"UPDATE O_PARPRC SET CENA=:CENA WHERE ISN=:ISN AND ISPRECE=:G", Effect::Unknown},
      {"UPDATE O_PARPRC SET CENA=:CENA, DAUDZUMS=:Q WHERE ISN=:ISN", Effect::Unknown},
      {"UPDATE O_PARPRC SET DAUDZUMS=:Q WHERE ISN=:ISN", Effect::Unknown},
      {"UPDATE O_PARPRC SET CENA=:CENA", Effect::Unknown},
      {"UPDATE O_PARPRC P SET P.CENA=:CENA WHERE ISN=:ISN", Effect::Unknown},
      {"UPDATE O_PARPRC SET O_PRCOUT.CENA=:CENA WHERE ISN=:ISN", Effect::Unknown},
      {"UPDATE \"O_PARPRC\" SET CENA=:CENA WHERE ISN=:ISN", Effect::Unknown},
      {"UPDATE O_PRCOUT SET DAUDZUMS=:Q WHERE ISN=:ISN", Effect::Unknown},
      {"UPDATE O_PAVOUT SET DATUMS=:D WHERE ISN=:ISN", Effect::Unknown},
      {"INSERT INTO O_PRCOUT (ISN) VALUES (:ISN)", Effect::Unknown},
      {"DELETE FROM O_PRECE WHERE ISN=:ISN", Effect::Unknown},
      {"UPDATE OR INSERT INTO O_PRATL_PAV (ISN, NEAPSTIPR) VALUES (1, 'T')", Effect::Unknown},
      {"MERGE INTO O_PARPAV USING N_ISI ON 1=0 WHEN NOT MATCHED THEN INSERT (ISN) VALUES (1)", Effect::Unknown},
      {"EXECUTE BLOCK AS BEGIN DELETE FROM O_PRECE; END", Effect::Unknown},
      {"-- a comment\nINSERT INTO S_OPERACIJAS (ISN) VALUES (1)", Effect::Unknown},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    const WriteStatement w = classifyWrite(c.sql);
    EXPECT_EQ(w.effect, c.effect);
    if (c.effect != Effect::SingleRowCost) continue;
    EXPECT_EQ(w.column, c.column);
    EXPECT_EQ(w.keyParam, c.key);
    EXPECT_EQ(w.valueParam, c.value);
  }
  // A write the movements cannot follow may still leave every issue line as it was.
  const std::pair<const char*, bool> untouched[] = {
      {"UPDATE O_ATGPRC SET O_ATGPRC.IEP_CENA=0.0 WHERE ISN IN (SELECT ISN FROM O_ATGPRC)", true},
      {"DELETE FROM O_PRECE WHERE ISN=:ISN", true},
      {"UPDATE O_PRCOUT SET DAUDZUMS=:Q WHERE ISN=:ISN", false},
      {"INSERT INTO O_PAVOUT (ISN) VALUES (:ISN)", false},
      {"EXECUTE BLOCK AS BEGIN DELETE FROM O_PRECE; END", false},
  };
  for (const auto& [sql, kept] : untouched) EXPECT_EQ(classifyWrite(sql).clientSalesUntouched, kept) << sql;
}

constexpr int kGoods = 4;
constexpr int kDepartments = 3;
constexpr int kDays = 20;
constexpr int kUnknown = 99;
constexpr int kClients = 3;

// Writes random documents straight into the database with keys drawn out of order, so the order
// the database keeps lines in is not the order of their keys.
class RandomHistory {
 public:
  RandomHistory(test::TestDatabase& db, unsigned seed) : db_(db), rng_(seed) {
    keys_.resize(20000);
    std::iota(keys_.begin(), keys_.end(), 5000);
    std::shuffle(keys_.begin(), keys_.end(), rng_);
    for (int& g : goods) g = db.goods();
  }

  static DateTime day(int d) { return makeDate(2026, 1, 1) + d; }

  void documents(int count) {
    for (int i = 0; i < count; ++i) document();
  }

  // Documents dated from day first to before day end, written in date order, so that each table
  // holds its lines in the order of their days.
  void documentsInDayOrder(int count, int first, int end) {
    for (int i = 0; i < count; ++i) dates_.push_back(day(first) + uniform(0, end - first));
    std::sort(dates_.begin(), dates_.end());
    documents(count);
  }

  // A goods-balance line and an issue line of every goods in every department, dated day.
  void balanceAndIssueOfEach(int d) {
    for (int g : goods)
      for (int dept = 1; dept <= kDepartments; ++dept) {
        db_.balance({.date = day(d) + 0.25, .dept = dept, .goods = g, .qty = 1.5 + dept, .cost = 2.0 + g % 7});
        db_.issue({.date = day(d) + 0.75, .dept = dept, .goods = g, .qty = 0.7 * dept});
      }
  }

  // Some lines go, so that new ones may take their place in the table.
  void deleteSome() {
    for (const char* table : {"O_PRECE", "O_PARPRC", "O_PRCOUT", "O_ATGPRC", "O_PRATL_PRC"})
      db_.exec(std::string("DELETE FROM ") + table + " WHERE MOD(ISN, 7) = 3");
  }

  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }

  // Tenths and thirds do not add up exactly, so a sum shows the order it was added in.
  std::optional<double> quantity() {
    switch (pick(12)) {
      case 0: return std::nullopt;
      case 1: return 0.0;
      case 2: return -(1 + pick(30)) / 10.0;
      case 3: return (1 + pick(60)) / 3.0;
      default: return (1 + pick(200)) / 10.0;
    }
  }
  std::optional<double> cost() {
    switch (pick(12)) {
      case 0: return std::nullopt;
      case 1: return 0.0;
      case 2: return -uniform(0.1, 10);
      default: return std::round(uniform(0.01, 60) * 1000) / 1000;
    }
  }
  std::optional<int> dept() { return pick(15) == 0 ? std::nullopt : std::optional<int>(1 + pick(kDepartments)); }
  // Clients 0 to 2 or none; sale prices and markups close enough that some match within 0.01.
  std::optional<int> client() { return pick(5) == 0 ? std::nullopt : std::optional<int>(pick(kClients)); }
  std::optional<double> salePrice() {
    const double prices[] = {10.0, 10.005, 10.02, 9.0, 12.5};
    return pick(10) == 0 ? std::nullopt : std::optional<double>(prices[pick(5)]);
  }
  std::optional<double> markup() { return pick(4) == 0 ? std::nullopt : std::optional<double>(pick(2) * 10.0); }
  std::optional<DateTime> date() {
    if (pick(40) == 0) return std::nullopt;
    return day(pick(kDays)) + uniform(0, 0.999);  // the time of day must not matter
  }

  int goods[kGoods] = {};

 private:
  int key() {
    const int k = keys_.back();
    keys_.pop_back();
    return k;
  }

  // The header columns only some kinds have.
  void kindHeader(test::RowInsert& head, const DocumentTables& t) {
    switch (t.kind) {
      case DocumentKind::Transfer:
        // Mostly to another department; now and then to the same one or to none.
        head.integer(test::kTransferReceiverColumn,
                     pick(10) == 0 ? std::nullopt : std::optional<int>(1 + pick(kDepartments)));
        return;
      case DocumentKind::Issue: head.integer(t.client, client()); return;
      case DocumentKind::Return:
        head.integer(t.origin, pick(3) == 0 ? std::nullopt : std::optional<int>(1 + pick(2)));
        head.integer(t.client, client());
        return;
      case DocumentKind::Balance: {
        const std::optional<std::string> flags[] = {std::nullopt, "T", "F", ""};
        head.text(test::kUnconfirmedColumn, flags[pick(4)]);
      }
    }
  }

  // A receipt or a document of a kind, with one to three lines; NULLs where the tool must cope.
  void document() {
    const int header = key();
    const int kind = pick(5);
    std::optional<DateTime> when;
    if (dates_.empty()) {
      when = date();
    } else {
      when = dates_.front();
      dates_.pop_front();
    }
    // 0 a receipt, else the document kinds in their rows' order.
    const DocumentTables* t = kind == 0 ? nullptr : &kDocumentKinds[kind - 1].tables;
    test::RowInsert head(t ? t->header : kReceiptHeaderTable);
    head.integer("ISN", header).date(t ? t->date : test::kReceiptDateColumn, when);
    if (t) kindHeader(head, *t);
    head.integer(t ? t->dept : test::kReceiptDeptColumn, dept());
    head.exec(db_.connection());
    for (int n = 1 + pick(3); n > 0; --n) {
      test::RowInsert line(t ? t->lines : kReceiptLinesTable);
      if (!t) {
        line.number(test::kReceiptDiscountColumn,
                    pick(3) == 0 ? std::nullopt : std::optional<double>(pick(2) ? 0.0 : uniform(-40, 10)));
      } else if (t->kind == DocumentKind::Issue) {
        line.number(t->salePrice, salePrice());
        line.number(t->markup, markup());
      }
      line.integer("ISN", key());
      line.integer(t ? t->headerKey : test::kReceiptHeaderKeyColumn, header);
      line.integer("ISPRECE", goods[pick(kGoods)]);
      line.number("DAUDZUMS", quantity());
      // A receipt's price, a transfer's cost.
      line.number(t ? t->cost : test::kReceiptPriceColumn, cost());
      line.exec(db_.connection());
    }
    db_.connection().defaultTransaction().commitRetaining();
  }

  test::TestDatabase& db_;
  std::mt19937 rng_;
  std::vector<int> keys_;
  std::deque<DateTime> dates_;  // the dates the next documents take, when drawn beforehand
};

std::string bits(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g (%016llx)", value,
                static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(value)));
  return text;
}

// Sales at one date-time tie on the date: the larger quantity first, NULL last, then the lower
// line key; a return takes the table's order. Memory and the statements agree on each.
TEST_F(PricingTest, ClientSaleTiesAnswerAsTheStatementsDo) {
  const int g = db.goods();
  const DateTime at = day(10) + 0.5;
  auto sale = [&](std::optional<double> qty, double cost) {
    const int line = db.issue({.date = at, .goods = g, .qty = qty.value_or(0), .cost = cost, .price = 10, .client = 7});
    if (!qty) db.exec("UPDATE O_PRCOUT SET DAUDZUMS = NULL WHERE ISN = " + std::to_string(line));
    return line;
  };
  const int noQuantity = sale(std::nullopt, 1);
  sale(2, 2);  // a smaller quantity: after both fives
  const int five = sale(5, 3), alsoFive = sale(5, 4), back = sale(-1, 0);
  auto cached = MainFormDatiDll({.movementCache = true, .goodsReadOneByOne = 0});
  cached->mainFormDati().PRECES_DB.setDatabaseName(db.path());
  cached->mainFormDati().connect();
  cached->newMylaiks();
  cached->ExpectPeriod(day(10), day(10));
  cached->PrecValid(g, 1, at);  // the pass over the tables
  const struct {
    ClientSales order;
    DateTime date;
    int pricedLine;
    int expected;  // 0: no sale on or before the date
  } rows[] = {
      {ClientSales::EarliestFirst, at, back, five},
      {ClientSales::EarliestFirst, at, five, alsoFive},
      {ClientSales::EarliestFirst, at - 1e-10, back, five},  // the same ten-thousandth of a second
      {ClientSales::EarliestFirst, at - 1e-5, back, 0},
      {ClientSales::DatabaseOrder, at, 0, noQuantity},
  };
  for (const auto& row : rows) {
    const ClientSaleQuestion q{row.order, g, 7, row.date, 10.0, row.pricedLine};
    const std::optional<ClientSaleAnswer> held = cached->ClientSaleFromHistory(q);
    ASSERT_TRUE(held) << row.expected;
    Query sales(db.connection());
    const ClientSaleAnswer read = readClientSale(sales, q, nullptr);
    EXPECT_EQ(held->sale.line, row.expected);
    EXPECT_EQ(read.sale.line, row.expected);
    EXPECT_EQ(held->anySale, read.anySale);
    EXPECT_EQ(held->sale.cost, read.sale.cost);
  }
}

// Seed, and goods the cache reads one by one before it reads all: 100 (never here), 2 (both
// ways), 0 (all at once from the first question); the day before which a run's history is folded
// (-1: none); whether the history is written in date order, so that every goods folds, with a
// balance and an issue of each goods in each department on the fold day; whether the first
// questions, from the fold day on, leave the moving average out, as a FIFO run's do.
struct Variant {
  unsigned seed;
  int goodsReadOneByOne;
  int foldDay = -1;
  bool dayOrder = false;
  bool averageLate = false;
};

// The cached library against one that reads the database on every call, both on the same file.
class MovementCacheEquivalence : public PricingTest, public ::testing::WithParamInterface<Variant> {
 protected:
  MovementCacheEquivalence()
      : history(db, GetParam().seed),
        cached(MainFormDatiDll({.movementCache = true, .goodsReadOneByOne = GetParam().goodsReadOneByOne})),
        plain(MainFormDatiDll({.movementCache = false})) {
    for (PricingLibrary* l : {cached.get(), plain.get()}) {
      l->mainFormDati().PRECES_DB.setDatabaseName(db.path());
      l->mainFormDati().connect();
    }
    if (GetParam().foldDay >= 0) {
      cached->newMylaiks();
      cached->ExpectPeriod(RandomHistory::day(GetParam().foldDay), RandomHistory::day(kDays));
    }
    cachedAverage = cached->newVidSvPasizm();
    plainAverage = plain->newVidSvPasizm();
    for (int g : history.goods) goodsKeys.push_back(g);
    goodsKeys.push_back(kUnknown);
  }

  struct Point {
    int goods, dept;
    DateTime date;
  };

  void expectSame(const std::string& what, const Point& p, double a, double b) {
    if (std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b)) return;
    std::ostringstream where;
    where << what << " goods " << p.goods << " dept " << p.dept << " " << formatIsoDate(p.date) << ": cached "
          << bits(a) << ", read " << bits(b);
    ADD_FAILURE() << where.str();
    ++mismatches;
  }

  void compareAt(const Point& p) {
    auto same = [&](const std::string& what, auto call) { expectSame(what, p, call(*cached), call(*plain)); };
    same("PrecValid", [&](PricingLibrary& l) { return l.PrecValid(p.goods, p.dept, p.date); });
    same("ApgrozDaudzums", [&](PricingLibrary& l) { return l.ApgrozDaudzums(p.goods, p.dept, p.date); });
    same("GetPedIepCena 0", [&](PricingLibrary& l) { return l.GetPedIepCena(p.goods, p.dept, 0, p.date); });
    same("GetPedIepCena 1", [&](PricingLibrary& l) { return l.GetPedIepCena(p.goods, p.dept, 1, p.date); });
    if (askAverage)
      expectSame("GetVidSvPasizmaksa", p, cachedAverage->GetVidSvPasizmaksa(p.goods, p.dept, p.date, false, true),
                 plainAverage->GetVidSvPasizmaksa(p.goods, p.dept, p.date, true, false));
    expectSame("NextStockIn", p, cached->NextStockIn(p.goods, p.dept, p.date).value_or(-1), stockInRead(p));
    const double stock = plain->PrecValid(p.goods, p.dept, p.date);
    // (S, q, D): a plain line, the day's outflow, more stock than all layers, a line coming back.
    const double figures[][3] = {{stock, 1, 0}, {stock, 1, 2.7}, {stock + 1e4, 0.3, 0}, {0, 5, 0}, {4, -1, 0}};
    for (const auto& f : figures) {
      std::vector<std::string> cachedList, plainList;
      const double a = cached->GetPasizmaksa(p.goods, p.dept, p.date, f[0], f[1], f[2], cachedList);
      const double b = plain->GetPasizmaksa(p.goods, p.dept, p.date, f[0], f[1], f[2], plainList);
      expectSame("GetPasizmaksa S=" + std::to_string(f[0]) + " q=" + std::to_string(f[1]), p, a, b);
      EXPECT_EQ(cachedList, plainList) << "goods " << p.goods << " dept " << p.dept << " " << formatIsoDate(p.date);
    }
    compareClientSales(p);
  }

  // Where the cache holds a goods and client, the client-sale statements' answer.
  void compareClientSales(const Point& p) {
    const std::vector<int> lines = keysOf("O_PRCOUT");
    for (const ClientSales order : {ClientSales::EarliestFirst, ClientSales::DatabaseOrder})
      for (int client = 0; client < kClients; ++client)
        for (const double wanted : {10.0, 11.0, 9.9, 12.5, 13.75}) {
          ClientSaleQuestion q{order, p.goods, client, p.date, wanted, 0};
          if (order == ClientSales::EarliestFirst && !lines.empty())
            q.pricedLine = lines[history.pick(static_cast<int>(lines.size()))];
          const std::optional<ClientSaleAnswer> held = cached->ClientSaleFromHistory(q);
          if (!held) continue;
          ++clientSalesHeld;
          Query sales(plain->mainFormDati().PRECES_DB);
          const ClientSaleAnswer read = readClientSale(sales, q, nullptr);
          const std::string what = "client sale " + std::to_string(client) + " at " + std::to_string(wanted) +
                                   (order == ClientSales::EarliestFirst ? " earliest" : " in table order");
          expectSame(what + ": any", p, held->anySale, read.anySale);
          expectSame(what + ": line", p, held->sale.line, read.sale.line);
          expectSame(what + ": cost", p, held->sale.cost, read.sale.cost);
        }
  }

  // What the weighted-average step asks the database when the library cannot tell.
  double stockInRead(const Point& p) {
    Query q(plain->mainFormDati().PRECES_DB);
    q.setSql(kTransfersIssuesSql.stockIn);
    q.setInteger("ISPRECE", p.goods);
    q.setInteger("ISNODALA", p.dept);
    q.setDateTime("DATUMSNO", p.date);
    q.open();
    return q.eof() ? 0.0 : q.asDateTime(0);
  }

  Point randomPoint() {
    const int d = history.pick(kDepartments + 2);  // 0 and kDepartments + 1 hold nothing
    return {goodsKeys[history.pick(static_cast<int>(goodsKeys.size()))], d,
            RandomHistory::day(history.pick(kDays + 4) - 2) + history.uniform(0, 0.999)};
  }

  void compareEverywhere(int firstDay = -1) {
    // Latest first, and every goods and department on a day before the next, so that every folded
    // goods answers on the fold day before a day inside its fold reads it whole.
    for (int day = kDays; day >= firstDay; --day)
      for (int g : goodsKeys)
        for (int d = 0; d <= kDepartments + 1; ++d) compareAt({g, d, RandomHistory::day(day) + 0.5});
  }

  void compareSample(int points) {
    for (int i = 0; i < points; ++i) compareAt(randomPoint());
  }

  // Line keys of one table, in key order.
  std::vector<int> keysOf(const std::string& table) {
    Query q(db.connection());
    q.setSql("SELECT ISN FROM " + table + " ORDER BY ISN");
    q.open();
    std::vector<int> keys;
    for (q.first(); !q.eof(); q.next()) keys.push_back(q.asInteger(0));
    return keys;
  }

  // The tool's own single-line cost updates, with the values it may bind; each committed and
  // followed now and then by a comparison, or left uncommitted with only the cache asked.
  void toolCostUpdates(int count, bool commitEach) {
    struct Target {
      const char* table;
      std::vector<const char*> texts;  // each with :ISN and, if any, one value parameter named below
      const char* valueParam;
    };
    const std::vector<Target> targets = {
        {"O_PARPRC",
         {"UPDATE O_PARPRC SET CENA=:CENA WHERE ISN=:ISN", "UPDATE O_PARPRC SET O_PARPRC.CENA=0.0 WHERE ISN=:ISN"},
         "CENA"},
        {"O_ATGPRC", {"UPDATE O_ATGPRC SET IEP_CENA=:IEP_CENA WHERE ISN=:ISN"}, "IEP_CENA"},
        {"O_PRATL_PRC", {"UPDATE O_PRATL_PRC SET IEP_CENA = :IEP_CENA WHERE ISN=:ISN"}, "IEP_CENA"},
        {"O_PRCOUT",
         {"UPDATE O_PRCOUT SET IEP_CENA = :IEP_CENA WHERE ISN=:ISN",
          "UPDATE O_PRCOUT SET O_PRCOUT.IEP_CENA=0.0 WHERE ISN=:ISN"},
         "IEP_CENA"},
    };
    Query update(cached->mainFormDati().PRECES_DB);
    for (int i = 0; i < count; ++i) {
      const Target& t = targets[history.pick(static_cast<int>(targets.size()))];
      const std::vector<int> keys = keysOf(t.table);
      if (keys.empty()) continue;
      update.setSql(t.texts[history.pick(static_cast<int>(t.texts.size()))]);
      update.setInteger("ISN", keys[history.pick(static_cast<int>(keys.size()))]);
      if (update.hasParameter(t.valueParam)) {
        const int choice = history.pick(8);
        if (choice == 0)
          update.setNull(t.valueParam);
        else if (choice == 1)
          update.setDouble(t.valueParam, 0.0);
        else
          update.setDouble(t.valueParam, std::round(history.uniform(0.01, 80) * 7) / 7);
      }
      update.execSql();
      if (commitEach) commit();
      // Between writes the tool asks for prices, so the cache holds the goods it then updates.
      if (history.pick(2) == 0) continue;
      const Point p = randomPoint();
      if (commitEach) {
        compareAt(p);
      } else {
        std::vector<std::string> list;
        cached->GetPasizmaksa(p.goods, p.dept, p.date, 10, 1, 0, list);
        cachedAverage->GetVidSvPasizmaksa(p.goods, p.dept, p.date, false, false);
      }
    }
  }

  void commit() { cached->mainFormDati().PRECES_DB_TRAN.commitRetaining(); }

  RandomHistory history;
  std::unique_ptr<PricingLibrary> cached, plain;
  std::unique_ptr<TVidSvPasizm> cachedAverage, plainAverage;
  std::vector<int> goodsKeys;
  int mismatches = 0;
  int clientSalesHeld = 0;
  bool askAverage = true;
};

TEST_P(MovementCacheEquivalence, EveryAnswerIsTheDatabasesWhateverTheToolWrites) {
  if (GetParam().dayOrder) {
    history.documentsInDayOrder(120, 0, GetParam().foldDay);
    history.balanceAndIssueOfEach(GetParam().foldDay);
    history.documentsInDayOrder(60, GetParam().foldDay, kDays);
  } else {
    history.documents(120);
    history.deleteSome();
    history.documents(60);
  }
  if (GetParam().averageLate) {
    askAverage = false;
    compareEverywhere(GetParam().foldDay);
    askAverage = true;
  }
  compareEverywhere();
  ASSERT_EQ(mismatches, 0) << "the cache differs on the history as written";

  // Cost updates line by line, committed as the tool commits them.
  for (int round = 0; round < 4; ++round) {
    toolCostUpdates(25, true);
    compareSample(60);
  }
  ASSERT_EQ(mismatches, 0) << "after single-line cost updates";

  // A reset over many lines at once.
  Query reset(cached->mainFormDati().PRECES_DB);
  reset.setSql(
      "UPDATE O_ATGPRC SET O_ATGPRC.IEP_CENA=0.0 WHERE ISN IN (SELECT O_ATGPRC.ISN FROM O_ATGPAV, O_ATGPRC "
      "WHERE O_ATGPAV.ISN = O_ATGPRC.ISATGPAV AND O_ATGPAV.DATUMS >= :DAT_NO)");
  reset.setDateTime("DAT_NO", RandomHistory::day(kDays / 2));
  reset.execSql();
  reset.setSql("UPDATE O_PRCOUT SET O_PRCOUT.IEP_CENA=0.0 WHERE MOD(ISN, 3) = 0");
  reset.execSql();
  commit();
  compareSample(80);
  ASSERT_EQ(mismatches, 0) << "after a set-based reset";

  // Updates that are never committed: the rollback takes them back out of the cache as well.
  toolCostUpdates(30, false);
  cached->mainFormDati().PRECES_DB_TRAN.deactivate();
  compareSample(80);
  ASSERT_EQ(mismatches, 0) << "after a rollback";

  // A line the tool adds, and more cost updates on top.
  Query insert(cached->mainFormDati().PRECES_DB);
  insert.setSql(
      "INSERT INTO O_PRATL_PRC (ISN, ISPRATLPAV, ISPRECE, DAUDZUMS, IEP_CENA) "
      "SELECT FIRST 1 90001, ISPRATLPAV, ISPRECE, 2.5, 3.25 FROM O_PRATL_PRC ORDER BY ISN");
  insert.execSql();
  commit();
  compareSample(40);
  toolCostUpdates(20, true);
  compareSample(60);
  ASSERT_EQ(mismatches, 0) << "after the tool added a line";

  // Another user's documents count from the next step on.
  history.documents(20);
  cached->PutInOperacija("Tests", RandomHistory::day(0), "", "", 0, "", nullptr, 0);
  if (GetParam().foldDay >= 0) {
    // A run that named its period sees them from its next pass.
    cached->newMylaiks();
    cached->ExpectPeriod(RandomHistory::day(GetParam().foldDay), RandomHistory::day(kDays));
  }
  compareEverywhere();
  EXPECT_EQ(mismatches, 0) << "at the start of a step after other users' work";
  // A run's pass over the tables answers client sales from memory.
  if (GetParam().foldDay >= 0 && GetParam().goodsReadOneByOne < 100) {
    EXPECT_GT(clientSalesHeld, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Seeds, MovementCacheEquivalence,
    ::testing::Values(Variant{11, 100}, Variant{12, 2}, Variant{13, 0}, Variant{14, 2}, Variant{15, 0, kDays / 2},
                      Variant{16, 2, kDays / 3}, Variant{17, 0, kDays / 2, true}, Variant{18, 2, kDays / 3, true},
                      Variant{19, 0, kDays / 2, true, true}, Variant{20, 2, kDays / 3, true, true}),
    [](const auto& info) {
      return "seed" + std::to_string(info.param.seed) + "_oneByOne" + std::to_string(info.param.goodsReadOneByOne) +
             (info.param.foldDay >= 0 ? "_fold" + std::to_string(info.param.foldDay) : "") +
             (info.param.dayOrder ? "_dayOrder" : "") + (info.param.averageLate ? "_averageLate" : "");
    });

}  // namespace
}  // namespace talvix::pricing
