#pragma once
// The recorded calls that ask for a price or make the calculator, without the operation-log entry
// (its text is checked once, over an empty period).
#include "support/recording_pricing.h"

#include <string>
#include <vector>

namespace talvix::test {

inline std::vector<std::string> priceCalls(const RecordingPricing& pricing) {
  std::vector<std::string> calls;
  for (const auto& call : pricing.calls)
    if (call.rfind("PutInOperacija", 0) != 0) calls.push_back(call);
  return calls;
}

}  // namespace talvix::test
