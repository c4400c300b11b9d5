#pragma once
// A small linear congruential generator for random histories: the same history on every platform.
#include <cstdint>

namespace talvix::test {

class Dice {
 public:
  explicit Dice(std::uint32_t seed) : state_(seed) {}
  int roll(int n) {  // 0 .. n-1
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<int>((state_ >> 8) % static_cast<std::uint32_t>(n));
  }
  bool chance(int percent) { return roll(100) < percent; }

 private:
  std::uint32_t state_;
};

}  // namespace talvix::test
