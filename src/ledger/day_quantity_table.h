#pragma once
// The quantities per goods, department and day that a FIFO pass hands to the pricing library: the
// day's outflow (transfers out plus issues) or the day's goods-balance quantity. Loaded once per
// pass from a grouped select; a lookup is a hash probe, never a scan.
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
  void load(Connection& connection, const std::string& sql, DateTime firstDay, DateTime lastDay);
  void clear();
  bool loaded() const { return loaded_; }
  std::size_t keys() const { return sums_.size(); }
  // Sum of the quantities held for the key; 0 when there is none.
  double quantity(int goods, int dept, DateTime date) const;

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
  std::unordered_map<Key, double, KeyHash> sums_;
  bool loaded_ = false;
};

// The day quantity a FIFO step passes to GetPasizmaksa.
inline double DayQuantity(const DayQuantityTable& table, int goods, int dept, DateTime date) {
  return table.quantity(goods, dept, date);
}

}  // namespace talvix
