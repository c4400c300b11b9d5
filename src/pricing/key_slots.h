#pragma once
// A table from 32-bit keys to small values, for a look-up once per line streamed past, where a
// node map's hashing and scattered nodes showed in the profile. Open addressing, linear probing;
// the caller owns whatever a value points to. Never shrinks; no erase: put over a key instead.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace talvix::pricing {

template <typename Value>
class KeySlots {
 public:
  // Null when the key was never put.
  Value* find(std::int32_t key) {
    if (slots_.empty()) return nullptr;
    for (std::size_t i = start(key);; i = (i + 1) & mask()) {
      Slot& s = slots_[i];
      if (!s.used) return nullptr;
      if (s.key == key) return &s.value;
    }
  }

  // Inserts or replaces; the pointer find() gave for another key may move.
  void put(std::int32_t key, Value value) {
    if (Value* held = find(key)) {
      *held = value;
      return;
    }
    if ((count_ + 1) * 2 > slots_.size()) grow();
    place(key, value);
  }

  void clear() {
    slots_.clear();
    count_ = 0;
  }

 private:
  struct Slot {
    std::int32_t key = 0;
    bool used = false;
    Value value{};
  };

  std::size_t mask() const { return slots_.size() - 1; }
  // Keys are often consecutive: a multiplicative hash spreads them.
  std::size_t start(std::int32_t key) const {
    return static_cast<std::size_t>((static_cast<std::uint32_t>(key) * 0x9E3779B1u) >> 7) & mask();
  }
  void place(std::int32_t key, Value value) {
    std::size_t i = start(key);
    while (slots_[i].used) i = (i + 1) & mask();
    slots_[i] = {key, true, value};
    ++count_;
  }
  void grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.resize(old.empty() ? 1024 : old.size() * 2);
    count_ = 0;
    for (const Slot& s : old)
      if (s.used) place(s.key, s.value);
  }

  std::vector<Slot> slots_;  // a power of two in size, at most half used
  std::size_t count_ = 0;
};

}  // namespace talvix::pricing
