#pragma once
// One document kind's headers as the pass over the tables holds them while that kind's lines
// stream past: each header's date-time, key, department, other party and averaging flag, found by
// key. Small, because every header of ten years is held at once; owned by the kind's line stream.
#include "data/date_time.h"
#include "data/query.h"
#include "pricing/cached_line.h"

#include <cstddef>
#include <cstdint>
#include <deque>

namespace talvix::pricing::cache {

struct Header {
  DateTime at;
  std::int32_t isn;
  std::int32_t dept, other;  // kNullKey for NULL; other: a transfer's receiving department, an issue's client
  bool averaged;
};

inline std::int32_t keyOrNull(const Query& q, int field) { return q.isNull(field) ? kNullKey : q.asInteger(field); }

// Sorted by key. Lines come mostly in their headers' order, so a look-up first tries where the
// last one ended.
class HeaderBook {
 public:
  // From a kind's header statement (movement_kinds.h); a header without a date holds no line a
  // statement counts.
  void read(Query& q);
  // Null when no header has that key.
  const Header* find(std::int32_t isn) {
    for (std::size_t i = hint_; i < headers_.size() && i < hint_ + 4; ++i)
      if (headers_[i].isn == isn) return &headers_[hint_ = i];
    return search(isn);
  }

 private:
  const Header* search(std::int32_t isn);

  std::deque<Header> headers_;  // grows without copying: ten years of headers are the peak
  std::size_t hint_ = 0;
};

}  // namespace talvix::pricing::cache
