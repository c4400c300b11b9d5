#include "average/average_passes.h"

#include "average/line_by_line.h"

namespace talvix {

std::unique_ptr<KindPass> averagePass(RunContext& ctx, DocumentKind kind) {
  return std::make_unique<AveragePass>(ctx, kind);
}

void assignAverage(RunContext& ctx, DocumentKind kind) { runAlone(ctx, *averagePass(ctx, kind)); }

}  // namespace talvix
