#pragma once
// A continuous FIFO run with every kind on "Nepiešķirt" would pass over the database for ever and
// price nothing. The window and autoiepcensad-run refuse it alike: this decides it and says why,
// and each front adds how its own person chooses what to price. Header-only, so the host, which
// loads the library at run time, shares it.
#include <vector>

namespace talvix {

inline constexpr const char* kNothingToPrice =
    "Visiem dokumentu veidiem izvēlēts \"Nepiešķirt\", tāpēc nepārtraukta piešķiršana neko nepiešķirtu.";
// The window's way to choose.
inline constexpr const char* kChooseInWindow =
    " Izvēlieties, ko piešķirt: \"Piešķirt tikai ar 0 pašizmaksu\" vai \"Piešķirt visiem no jauna\".";

// modes: every kind's item index; passLimited: the run ends after a number of passes of its own;
// fifo() (asked only when the rest would refuse): the database costs by FIFO.
template <typename Fifo>
bool pricesNothingForEver(const std::vector<int>& modes, bool passLimited, Fifo fifo) {
  if (passLimited) return false;
  for (const int mode : modes)
    if (mode != 0) return false;
  return fifo();
}

}  // namespace talvix
