// Named parameters, value types and NULLs through the query object.
#include "data/db_error.h"
#include "data/named_params.h"
#include "data/query.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

namespace talvix {
namespace {

struct PositionalCase {
  const char* sql;
  const char* expected;
  std::vector<std::string> names;
};

TEST(NamedParams, RewritesNamesOutsideLiteralsAndComments) {
  const std::vector<PositionalCase> cases = {
      {"SELECT * FROM T WHERE A=:A", "SELECT * FROM T WHERE A=?", {"A"}},
      {"X BETWEEN :DAT_NO AND :DAT_LIDZ UNION Y BETWEEN :DAT_NO AND :dat_lidz", "X BETWEEN ? AND ? UNION Y BETWEEN ? AND ?",
       {"DAT_NO", "DAT_LIDZ", "DAT_NO", "DAT_LIDZ"}},
      {"WHERE A>=:DAT_NO AND B<=:DAT_LIDZ", "WHERE A>=? AND B<=?", {"DAT_NO", "DAT_LIDZ"}},
      {"WHERE S = 'a:B' AND T=:T", "WHERE S = 'a:B' AND T=?", {"T"}},
      {"WHERE S = 'it''s :X' AND \"Q:Y\" = :Z", "WHERE S = 'it''s :X' AND \"Q:Y\" = ?", {"Z"}},
      {"SELECT 1 -- :NOT\nFROM T /* :NOR */ WHERE :YES = 1", "SELECT 1 -- :NOT\nFROM T /* :NOR */ WHERE ? = 1", {"YES"}},
      {"SELECT CAST('12:30' AS TIME) FROM T", "SELECT CAST('12:30' AS TIME) FROM T", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    const PositionalSql result = toPositional(c.sql);
    EXPECT_EQ(result.sql, c.expected);
    EXPECT_EQ(result.positions, c.names);
  }
}

TEST(Query, RepeatedNameBindsEveryOccurrence) {
  test::TestDatabase db;
  db.goodsWithKey(1);
  db.transfer({.date = makeDate(2026, 3, 5), .goods = 1, .qty = 2});
  db.issue({.date = makeDate(2026, 3, 6), .goods = 1, .qty = 3});
  db.issue({.date = makeDate(2026, 4, 6), .goods = 1, .qty = 30});
  Query q(db.connection());
  q.setSql("SELECT SUM(O_PARPRC.DAUDZUMS) S FROM O_PARPAV, O_PARPRC WHERE O_PARPAV.ISN = O_PARPRC.ISPARVPAV "
           "AND O_PARPAV.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ UNION ALL "
           "SELECT SUM(O_PRCOUT.DAUDZUMS) FROM O_PAVOUT, O_PRCOUT WHERE O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT "
           "AND O_PAVOUT.DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ");
  q.setDateTime("DAT_NO", makeDate(2026, 3, 1));
  q.setDateTime("DAT_LIDZ", makeDate(2026, 3, 31));
  q.open();
  ASSERT_EQ(q.rowCount(), 2);
  double total = 0;
  for (q.first(); !q.eof(); q.next()) total += q.asDouble("S");
  EXPECT_DOUBLE_EQ(total, 5.0);
}

TEST(Query, NullReadsAsZeroOfEveryKind) {
  test::TestDatabase db;
  const int line = db.issue({.date = makeDate(2026, 3, 5), .cost = std::nullopt});
  Query q(db.connection());
  q.setSql("SELECT O_PRCOUT.IEP_CENA, O_PAVOUT.ISKLIENT, O_PRCOUT.ISSERTIF, CAST(NULL AS TIMESTAMP) DATUMS, "
           "CAST(NULL AS VARCHAR(5)) TXT FROM O_PRCOUT, O_PAVOUT WHERE O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT AND O_PRCOUT.ISN = :ISN");
  q.setInteger("ISN", line);
  q.open();
  ASSERT_EQ(q.rowCount(), 1);
  EXPECT_TRUE(q.isNull("IEP_CENA"));
  EXPECT_EQ(q.asDouble("IEP_CENA"), 0.0);
  EXPECT_EQ(q.asInteger("ISKLIENT"), 0);
  EXPECT_EQ(q.asInteger("ISSERTIF"), 0);
  EXPECT_EQ(q.asDateTime("DATUMS"), 0.0);
  EXPECT_EQ(q.asString("TXT"), "");
}

TEST(Query, EmptyResultIsEofAndBoundNullIsNull) {
  test::TestDatabase db;
  Query q(db.connection());
  q.setSql("SELECT ISN FROM N_KLPREC WHERE ISN = :ISN");
  q.setNull("ISN");
  q.open();
  EXPECT_EQ(q.rowCount(), 0);
  EXPECT_TRUE(q.eof());
}

TEST(Query, DateTimeKeepsTimeOfDayAndDoublesKeepEveryBit) {
  test::TestDatabase db;
  const DateTime when = makeDateTime(2026, 3, 5, 14, 5, 9);
  const double price = 10.0 / 3.0;
  const int line = db.issue({.date = when, .cost = price});
  Query q(db.connection());
  q.setSql("SELECT O_PAVOUT.DATUMS, O_PRCOUT.IEP_CENA FROM O_PRCOUT, O_PAVOUT "
           "WHERE O_PAVOUT.ISN = O_PRCOUT.ISPAVOUT AND O_PRCOUT.ISN = :ISN");
  q.setInteger("ISN", line);
  q.open();
  EXPECT_NEAR(q.asDateTime("DATUMS"), when, 1e-9);
  EXPECT_EQ(q.asDouble("IEP_CENA"), price);
  EXPECT_EQ(wholeDate(q.asDateTime("DATUMS")), makeDate(2026, 3, 5));
}

TEST(Query, SwitchingTextsReusesEachPreparedStatementWithNewValues) {
  test::TestDatabase db;
  db.goodsWithKey(1, "A", 1.0);
  db.goodsWithKey(2, "B", 2.0);
  Query q(db.connection());
  const std::string byKey = "SELECT CENA1 FROM N_KLPREC WHERE ISN = :ISN";
  const std::string byName = "SELECT CENA1 FROM N_KLPREC WHERE NOSAUKUMS = 'B' AND ISN > :ISN";
  for (int round = 0; round < 3; ++round) {
    q.setSql(byKey);
    q.setInteger("ISN", 1 + round % 2);
    q.open();
    EXPECT_DOUBLE_EQ(q.asDouble(0), 1.0 + round % 2);
    q.setSql(byName);
    q.setInteger("ISN", 0);
    q.open();
    EXPECT_DOUBLE_EQ(q.asDouble(0), 2.0);
  }
}

TEST(Query, MisuseNamesTheParameterOrFieldAndSqlErrorsCarryFirebirdsText) {
  test::TestDatabase db;
  Query q(db.connection());
  q.setSql("SELECT ISN FROM N_KLPREC WHERE ISN = :ISN");
  EXPECT_THROW(q.setInteger("ISPRECE", 1), DbError);
  q.setInteger("ISN", 1);
  q.open();
  EXPECT_THROW(q.fieldIndex("CENA"), DbError);
  q.setSql("SELECT NO_SUCH_COLUMN FROM N_KLPREC");
  try {
    q.open();
    FAIL();
  } catch (const DbError& error) {
    EXPECT_NE(std::string(error.what()).find("NO_SUCH_COLUMN"), std::string::npos) << error.what();
  }
}

}  // namespace
}  // namespace talvix
