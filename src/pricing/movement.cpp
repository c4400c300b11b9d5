#include "pricing/movement.h"

#include <cstdio>

namespace talvix::pricing {
namespace {

const char* tableOf(MovementKind kind) {
  switch (kind) {
    case MovementKind::Return:
      return "O_ATGPRC";
    case MovementKind::TransferIn:
    case MovementKind::TransferOut:
      return "O_PARPRC";
    case MovementKind::Receipt:
      return "O_PRECE";
    case MovementKind::Balance:
      return "O_PRATL_PRC";
    case MovementKind::Issue:
      return "O_PRCOUT";
  }
  return "?";
}

}  // namespace

bool isInflow(MovementKind kind) { return kind <= MovementKind::Balance; }

bool newerFirst(const Movement& a, const Movement& b) {
  if (a.day != b.day) return a.day > b.day;
  if (a.kind != b.kind) return a.kind < b.kind;
  return a.isn > b.isn;
}

std::string describeUse(const Movement& layer, double units) {
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "%.10g@%.10g", units, layer.cost);
  return formatIsoDate(layer.day) + " " + tableOf(layer.kind) + " " + std::to_string(layer.isn) + " " + numbers;
}

}  // namespace talvix::pricing
