// The connection and its default transaction against a real embedded database.
#include "data/connection.h"
#include "data/db_error.h"
#include "data/query.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <chrono>

namespace talvix {
namespace {

TEST(Connection, BadPathFailsWithFirebirdsOwnText) {
  Connection connection;
  connection.setDatabaseName("/nonexistent/dir/stock.fdb");
  try {
    connection.open();
    FAIL() << "opened a database that does not exist";
  } catch (const DbError& error) {
    const std::string text = error.what();
    EXPECT_NE(text.find("/nonexistent/dir/stock.fdb"), std::string::npos) << text;
  }
  EXPECT_FALSE(connection.connected());
}

TEST(Connection, CloseLeavesItReopenableAndRollsBackOpenWork) {
  test::TestDatabase db;
  Connection connection;
  connection.setDatabaseName(db.path());
  connection.open();
  Query insert(connection);
  insert.setSql("INSERT INTO N_KLPREC (ISN, NOSAUKUMS) VALUES (77, 'Uncommitted')");
  insert.execSql();
  EXPECT_TRUE(connection.defaultTransaction().inTransaction());
  connection.close();
  EXPECT_FALSE(connection.connected());
  EXPECT_FALSE(connection.defaultTransaction().inTransaction());
  connection.open();
  Query count(connection);
  count.setSql("SELECT COUNT(*) FROM N_KLPREC WHERE ISN = 77");
  count.open();
  EXPECT_EQ(count.asInteger(0), 0);
}

TEST(Transaction, CommitRetainingKeepsRowsUsableAndShowsTheWriteToAnotherAttachment) {
  test::TestDatabase db;
  db.goodsWithKey(1);
  db.goodsWithKey(2);
  Connection writer;
  writer.setDatabaseName(db.path());
  writer.open();
  Query select(writer);
  select.setSql("SELECT ISN FROM N_KLPREC ORDER BY ISN");
  select.open();
  Query update(writer);
  update.setSql("UPDATE N_KLPREC SET CENA1 = :CENA WHERE ISN = :ISN");
  int seen = 0;
  for (select.first(); !select.eof(); select.next()) {
    update.setDouble("CENA", 10.0 * select.asInteger("ISN"));
    update.setInteger("ISN", select.asInteger("ISN"));
    update.execSql();
    writer.defaultTransaction().commitRetaining();
    ++seen;
  }
  EXPECT_EQ(seen, 2);
  EXPECT_TRUE(writer.defaultTransaction().inTransaction());
  EXPECT_DOUBLE_EQ(db.scalar("SELECT CENA1 FROM N_KLPREC WHERE ISN = 2"), 20.0);
}

TEST(Transaction, DeactivateRollsBackWhatWasNotCommitted) {
  test::TestDatabase db;
  db.goodsWithKey(5, "Prece", 1.0);
  Connection connection;
  connection.setDatabaseName(db.path());
  connection.open();
  Query update(connection);
  update.setSql("UPDATE N_KLPREC SET CENA1 = 99 WHERE ISN = 5");
  update.execSql();
  connection.defaultTransaction().deactivate();
  EXPECT_FALSE(connection.defaultTransaction().inTransaction());
  Query check(connection);
  check.setSql("SELECT CENA1 FROM N_KLPREC WHERE ISN = 5");
  check.open();
  EXPECT_DOUBLE_EQ(check.asDouble(0), 1.0);
}

TEST(Transaction, LockHeldElsewhereFailsAfterTheLockTimeoutWithFirebirdsText) {
  test::TestDatabase db;
  db.goodsWithKey(9);
  Connection holder;
  holder.setDatabaseName(db.path());
  holder.open();
  Query hold(holder);
  hold.setSql("UPDATE N_KLPREC SET CENA1 = 1 WHERE ISN = 9");
  hold.execSql();  // uncommitted: the row stays locked

  Connection waiter;
  waiter.setDatabaseName(db.path());
  waiter.open();
  waiter.defaultTransaction().setLockTimeout(1);
  Query update(waiter);
  update.setSql("UPDATE N_KLPREC SET CENA1 = 2 WHERE ISN = 9");
  try {
    update.execSql();
    FAIL() << "the update did not wait for the lock";
  } catch (const DbError& error) {
    const std::string text = error.what();
    EXPECT_NE(text.find("update conflicts with concurrent update"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace talvix

namespace talvix {
namespace {

TEST(Connection, ObserversHearEveryWriteAndEveryDiscardButNoSelect) {
  test::TestDatabase db;
  db.goodsWithKey(3);
  Connection connection;
  connection.setDatabaseName(db.path());
  connection.open();
  std::vector<std::string> heard;
  const int id = connection.addDataObserver([&](DataEvent event, const Query* query) {
    heard.push_back(event == DataEvent::Written ? query->sql() + " ISN=" + std::to_string(int(query->paramDouble("ISN")))
                                                : "discarded");
  });
  Query select(connection);
  select.setSql("SELECT ISN FROM N_KLPREC");
  select.open();
  Query update(connection);
  update.setSql("UPDATE N_KLPREC SET CENA1 = 2 WHERE ISN = :ISN");
  update.setInteger("ISN", 3);
  update.execSql();
  connection.defaultTransaction().deactivate();
  connection.removeDataObserver(id);
  update.execSql();
  EXPECT_EQ(heard, (std::vector<std::string>{"UPDATE N_KLPREC SET CENA1 = 2 WHERE ISN = :ISN ISN=3", "discarded"}));
}

}  // namespace
}  // namespace talvix
