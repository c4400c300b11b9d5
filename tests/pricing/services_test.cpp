// The suite's services: default period, blocked days, operation log, run timer, sale price.
#include "data/db_error.h"
#include "data/query.h"
#include "pricing/run_timer.h"
#include "pricing_fixture.h"

namespace talvix::pricing {
namespace {

TEST(PricingLibrary, DefaultPeriodIsTodaysMonth) {
  struct Case {
    DateTime today, first, last;
  };
  const std::vector<Case> cases = {
      {makeDate(2026, 3, 15), makeDate(2026, 3, 1), makeDate(2026, 3, 31)},
      {makeDateTime(2024, 2, 29, 23, 59, 59), makeDate(2024, 2, 1), makeDate(2024, 2, 29)},
      {makeDate(2023, 2, 1), makeDate(2023, 2, 1), makeDate(2023, 2, 28)},
      {makeDate(2025, 12, 31), makeDate(2025, 12, 1), makeDate(2025, 12, 31)},
      {makeDate(2026, 1, 1), makeDate(2026, 1, 1), makeDate(2026, 1, 31)},
      {makeDate(2026, 4, 30), makeDate(2026, 4, 1), makeDate(2026, 4, 30)},
  };
  auto library = MainFormDatiDll();
  for (const Case& c : cases) {
    SCOPED_TRACE(formatIsoDate(c.today));
    EXPECT_EQ(library->DatNo(c.today), c.first);
    EXPECT_EQ(library->DatLidz(c.today), c.last);
  }
}

TEST_F(PricingTest, BlockedPeriodIncludesBothEnds) {
  db.blockDay(day(10));
  db.blockDay(day(20));
  struct Case {
    DateTime first, last;
    bool blocked;
  };
  const std::vector<Case> cases = {
      {day(10), day(10), true},   {day(1), day(10), true},          {day(10), day(15), true},
      {day(1), day(9), false},    {day(11), day(19), false},        {day(21), day(31), false},
      {day(10) + 0.75, day(12), true}, {day(5), day(9) + 0.99, false}, {day(19), day(20) + 0.5, true},
      {day(15), day(11), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(formatIsoDate(c.first) + " .. " + formatIsoDate(c.last));
    EXPECT_EQ(library->VaiBloketsPeriods(c.first, c.last), c.blocked);
  }
}

TEST_F(PricingTest, OperationLogEntrySurvivesARollbackOfTheRunsTransaction) {
  MainFormDati& data = library->mainFormDati();
  const int g = db.goods();
  const int line = db.issue({.date = day(3), .goods = g, .qty = 1});
  Query update(data.PRECES_DB);
  update.setSql("UPDATE O_PRCOUT SET IEP_CENA = :IEP_CENA WHERE ISN=:ISN");
  update.setDouble("IEP_CENA", 5);
  update.setInteger("ISN", line);
  update.execSql();

  library->PutInOperacija("Izrakstīšana", day(31), "IZR=1", "Datums No=01.03.26 Dat.Līdz=31.03.26", 7, "",
                          &update, 9);
  library->PutInOperacija("Pārvietošana", day(30), "PARV=2", "", 0, "trešais", nullptr, 0);
  EXPECT_TRUE(data.PRECES_DB_TRAN.inTransaction()) << "the run's transaction is left as it was";
  data.PRECES_DB_TRAN.deactivate();

  EXPECT_EQ(db.issueCost(line), 0.0) << "the run's update was rolled back";
  Query log(db.connection());
  log.setSql("SELECT ISN, NOSAUKUMS, DATUMS, TEKSTS1, TEKSTS2, SKAITLIS1, TEKSTS3, VAICAJUMS, SKAITLIS2, "
             "LAIKS, LIETOTAJS FROM S_OPERACIJAS ORDER BY ISN");
  log.open();
  ASSERT_EQ(log.rowCount(), 2);
  const int firstKey = log.asInteger("ISN");
  EXPECT_EQ(log.asString("NOSAUKUMS"), "Izrakstīšana");
  EXPECT_EQ(log.asDateTime("DATUMS"), day(31));
  EXPECT_EQ(log.asString("TEKSTS1"), "IZR=1");
  EXPECT_EQ(log.asString("TEKSTS2"), "Datums No=01.03.26 Dat.Līdz=31.03.26");
  EXPECT_EQ(log.asInteger("SKAITLIS1"), 7);
  EXPECT_EQ(log.asString("TEKSTS3"), "");
  EXPECT_FALSE(log.isNull("VAICAJUMS"));
  EXPECT_EQ(log.asInteger("SKAITLIS2"), 9);
  EXPECT_FALSE(log.isNull("LAIKS"));
  EXPECT_EQ(log.asString("LIETOTAJS"), "SYSDBA");
  log.next();
  EXPECT_GT(log.asInteger("ISN"), firstKey);
  EXPECT_EQ(log.asString("NOSAUKUMS"), "Pārvietošana");
  EXPECT_EQ(log.asString("TEKSTS3"), "trešais");
  EXPECT_TRUE(log.isNull("VAICAJUMS"));

  // The query is recorded by its SQL text (a BLOB, so read as text here).
  Query text(db.connection());
  text.setSql("SELECT CAST(VAICAJUMS AS VARCHAR(200)) AS SQLTEXT FROM S_OPERACIJAS WHERE ISN = :ISN");
  text.setInteger("ISN", firstKey);
  text.open();
  EXPECT_EQ(text.asString("SQLTEXT"), update.sql());
}

TEST_F(PricingTest, OperationLogFailureLeavesNothingOpen) {
  const std::string tooLong(101, 'x');  // NOSAUKUMS holds 100 characters
  EXPECT_THROW(library->PutInOperacija(tooLong, day(1), "", "", 0, "", nullptr, 0), DbError);
  library->PutInOperacija("Atlikumi", day(1), "ATLIK=1", "", 0, "", nullptr, 0);
  EXPECT_EQ(db.count("S_OPERACIJAS"), 1);
}

// The FIFO loop's recovery closes the connection and opens it again; the kept statements must
// prepare themselves anew on the new attachment.
TEST_F(PricingTest, EveryOperationWorksAgainAfterAReconnect) {
  const int g = db.goods();
  db.receipt({.date = day(1), .dept = 1, .goods = g, .qty = 10, .price = 2});
  db.issue({.date = day(2), .dept = 1, .goods = g, .qty = 4});
  MainFormDati& data = library->mainFormDati();
  auto average = library->newVidSvPasizm();
  auto everyOperation = [&] {
    std::vector<std::string> list;
    EXPECT_EQ(library->PrecValid(g, 1, day(3)), 6.0);
    EXPECT_EQ(library->ApgrozDaudzums(g, 1, day(3)), 0.0);
    EXPECT_EQ(library->GetPasizmaksa(g, 1, day(3), 6, 1, 1, list), 2.0);
    EXPECT_EQ(library->GetPedIepCena(g, 1, 0, day(3)), 2.0);
    EXPECT_EQ(library->GetPedIepCena(g, 1, 1, day(3)), 2.0);
    EXPECT_EQ(average->GetVidSvPasizmaksa(g, 1, day(3), false, true), 2.0);
    EXPECT_FALSE(library->VaiBloketsPeriods(day(1), day(3)));
    EXPECT_EQ(library->newKlprecInfo(g)->FirstSalePrice(), 0.0);
    library->PutInOperacija("Pārbaude", day(3), "", "", 0, "", nullptr, 0);
  };
  everyOperation();
  data.PRECES_DB.close();
  data.connect();
  everyOperation();
  EXPECT_EQ(db.count("S_OPERACIJAS"), 2);
}

TEST(PricingRunTimer, ElapsedLineCountsHoursPastADay) {
  const std::vector<std::pair<long, const char*>> cases = {
      {0, "Ilgums: 00:00:00"}, {59, "Ilgums: 00:00:59"}, {3661, "Ilgums: 01:01:01"}, {90000, "Ilgums: 25:00:00"},
      {-5, "Ilgums: 00:00:00"},
  };
  for (const auto& [seconds, text] : cases) EXPECT_EQ(elapsedLine(std::chrono::seconds(seconds)), text);
  auto timer = MainFormDatiDll()->newMylaiks();
  timer->SetTime();
  EXPECT_EQ(timer->FillLineStundas(), "Ilgums: 00:00:00");
}

TEST_F(PricingTest, FirstSalePriceIsCena1OrZero) {
  const int priced = db.goods("Maize", 1.25);
  const int unpriced = db.goods("Sāls");
  db.exec("UPDATE N_KLPREC SET CENA1 = NULL WHERE ISN = " + std::to_string(unpriced));
  EXPECT_EQ(library->newKlprecInfo(priced)->FirstSalePrice(), 1.25);
  EXPECT_EQ(library->newKlprecInfo(unpriced)->FirstSalePrice(), 0.0);
  EXPECT_EQ(library->newKlprecInfo(424242)->FirstSalePrice(), 0.0);
}

}  // namespace
}  // namespace talvix::pricing
