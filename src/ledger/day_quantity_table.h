#pragma once
// The quantities per goods, department and day that a FIFO pass hands to the pricing library: the
// day's outflow (transfers out plus issues) or the day's goods-balance quantity. Loaded once per
// pass from a grouped select, at the pass's start or at its first lookup; a lookup is a hash probe.
#include "data/connection.h"
#include "data/date_time.h"

#include <cstdint>
#include <string>
#include <unordered_map>

namespace talvix {

class DayQuantityTable {
 public:
  // Replaces the contents with the rows of sql (columns ISPRECE, ISNODALA, DATUMS, DAUDZUMS, FLAG)
  // for the period from firstDay to lastDay.
  // transaction null: the connection's default one.
  void load(Connection& connection, const std::string& sql, DateTime firstDay, DateTime lastDay,
            Transaction* transaction = nullptr);
  // The same load, made by the first lookup: a pass that never asks for a day quantity (nothing to
  // price, or every line priced by another rule) does not read the period's movements. The
  // connection and transaction must outlive the pass.
  void loadOnFirstUse(Connection& connection, std::string sql, DateTime firstDay, DateTime lastDay,
                      Transaction* transaction = nullptr);
  // A continuous pass whose documents did not change since the last: contents loaded from the same
  // text and period stay; anything else loads on first use, as loadOnFirstUse.
  void keepOrLoadOnFirstUse(Connection& connection, std::string sql, DateTime firstDay, DateTime lastDay,
                            Transaction* transaction);
  // Drops a load not made yet (its transaction is ending); loaded contents stay.
  void dropPending() { pending_ = {}; }
  void clear();
  bool loaded() const { return loaded_ || pending_.connection != nullptr; }
  std::size_t keys() {
    loadPending();
    return sums_.size();
  }
  // Sum of the quantities held for the key; 0 when there is none.
  double quantity(int goods, int dept, DateTime date);

 private:
  struct Key {
    std::int32_t goods;
    std::int32_t dept;
    double date;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& key) const;
  };
  struct PendingLoad {
    Connection* connection = nullptr;
    Transaction* transaction = nullptr;
    std::string sql;
    DateTime firstDay = 0, lastDay = 0;
  };
  void loadPending();

  std::unordered_map<Key, double, KeyHash> sums_;
  bool loaded_ = false;
  std::string loadedSql_;
  DateTime loadedFirst_ = 0, loadedLast_ = 0;
  PendingLoad pending_;
};

// The day quantity a FIFO step passes to GetPasizmaksa.
inline double DayQuantity(DayQuantityTable& table, int goods, int dept, DateTime date) {
  return table.quantity(goods, dept, date);
}

}  // namespace talvix
