#include "pricing/header_book.h"

#include <algorithm>

namespace talvix::pricing::cache {
namespace {

// The columns of a kind's header statement (movement_kinds.h).
enum HeaderColumn { kHeaderIsn, kHeaderDate, kHeaderDept, kHeaderOther, kHeaderAveraged };

}  // namespace

void HeaderBook::read(Query& q) {
  headers_.clear();
  for (q.openStream(); q.fetch();) {
    if (q.isNull(kHeaderDate)) continue;
    headers_.push_back({q.asDateTime(kHeaderDate), q.asInteger(kHeaderIsn), keyOrNull(q, kHeaderDept),
                        keyOrNull(q, kHeaderOther), q.asInteger(kHeaderAveraged) == 1});
  }
  std::sort(headers_.begin(), headers_.end(), [](const Header& a, const Header& b) { return a.isn < b.isn; });
  hint_ = 0;
}

const Header* HeaderBook::search(std::int32_t isn) {
  const auto found = std::lower_bound(headers_.begin(), headers_.end(), isn,
                                      [](const Header& h, std::int32_t key) { return h.isn < key; });
  if (found == headers_.end() || found->isn != isn) return nullptr;
  hint_ = static_cast<std::size_t>(found - headers_.begin());
  return &*found;
}

}  // namespace talvix::pricing::cache
