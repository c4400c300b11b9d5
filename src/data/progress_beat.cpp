#include "data/progress_beat.h"

#include <atomic>

namespace talvix {
namespace {

std::atomic<std::uint64_t> beats{0};

}  // namespace

// One writer: a plain load and store, no locked instruction per row.
void progressBeat() noexcept { beats.store(beats.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed); }

std::uint64_t progressBeats() noexcept { return beats.load(std::memory_order_relaxed); }

}  // namespace talvix
