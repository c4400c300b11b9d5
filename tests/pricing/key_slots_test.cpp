// The movement cache's key table: every key put is found with its latest value, through the
// table's growth, whatever the keys look like.
#include "pricing/key_slots.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <vector>

namespace talvix::pricing {
namespace {

TEST(KeySlots, FindsEveryKeyPutWithItsLatestValueThroughGrowth) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  struct Row {
    const char* what;
    std::vector<std::int32_t> keys;
  };
  std::vector<Row> rows = {{"none", {}}, {"the extremes and 0", {kMin, kMax, 0, -1, 1}}};
  Row consecutive{"consecutive, past several growths", {}};
  for (std::int32_t k = 1; k <= 5000; ++k) consecutive.keys.push_back(k);
  rows.push_back(consecutive);
  Row strided{"strided so that many share low bits", {}};
  for (std::int32_t k = 0; k < 3000; ++k) strided.keys.push_back(k * 4096 - 6000000);
  rows.push_back(strided);

  for (const Row& row : rows) {
    KeySlots<int> slots;
    std::map<std::int32_t, int> expected;
    for (std::size_t i = 0; i < row.keys.size(); ++i) {
      slots.put(row.keys[i], static_cast<int>(i));
      expected[row.keys[i]] = static_cast<int>(i);
    }
    // Every third key again, with a new value.
    for (std::size_t i = 0; i < row.keys.size(); i += 3) {
      slots.put(row.keys[i], -static_cast<int>(i));
      expected[row.keys[i]] = -static_cast<int>(i);
    }
    for (const auto& [key, value] : expected) {
      const int* found = slots.find(key);
      ASSERT_NE(found, nullptr) << row.what << ": key " << key;
      EXPECT_EQ(*found, value) << row.what << ": key " << key;
    }
    for (const std::int32_t absent : {2, 7777, -5})
      if (!expected.contains(absent)) {
        EXPECT_EQ(slots.find(absent), nullptr) << row.what << ": key " << absent;
      }
    slots.clear();
    for (const auto& [key, value] : expected) EXPECT_EQ(slots.find(key), nullptr) << row.what << " after clear";
  }
}

}  // namespace
}  // namespace talvix::pricing
