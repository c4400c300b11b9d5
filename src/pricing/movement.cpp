#include "pricing/movement.h"

#include "pricing/movement_kinds.h"

#include <cstdio>

namespace talvix::pricing {

bool newerFirst(const Movement& a, const Movement& b) {
  if (a.day != b.day) return a.day > b.day;
  if (a.kind != b.kind) return a.kind < b.kind;
  return a.isn > b.isn;
}

std::string describeUse(const Movement& layer, double units) {
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "%.10g@%.10g", units, layer.cost);
  return formatIsoDate(layer.day) + " " + rowOf(layer.kind).lines + " " + std::to_string(layer.isn) + " " + numbers;
}

}  // namespace talvix::pricing
