#pragma once
// A count that moves while the tool works: a row read, a statement run, a slice of a wait, a line
// priced. A watcher on another thread (the service's watchdog) tells a busy run from a hung one by
// whether it moved; nothing else reads it.
#include <cstdint>

namespace talvix {

// Called from the one thread that runs; cheap enough for every row.
void progressBeat() noexcept;
// Readable from any thread.
std::uint64_t progressBeats() noexcept;

}  // namespace talvix
