#include "data/pricing_library.h"

#include <stdexcept>

namespace talvix {
namespace {
constexpr const char* kNoTrail = "this pricing library does not tell how it priced a line";
}

FifoTrail CostExplanation::FifoLayersTaken(int, int, DateTime, double, double, double) {
  throw std::logic_error(kNoTrail);
}

std::vector<AverageStep> CostExplanation::AverageReplay(int, int, DateTime) { throw std::logic_error(kNoTrail); }

}  // namespace talvix
