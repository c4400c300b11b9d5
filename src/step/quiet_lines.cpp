#include "step/quiet_lines.h"

#include "data/change_reach.h"

#include <string>

namespace talvix {

void QuietLines::clear() noexcept {
  for (auto& selection : selections_) selection.reset();
  for (auto& lines : quiet_) lines.clear();
  for (auto& lines : written_) lines.clear();
  for (auto& lines : lastWritten_) lines.clear();
  touched_.clear();
  lastWrite_.clear();
}

bool QuietLines::touchedGoods(const DocumentChanges& changes) {
  if (reachesEveryPrice(changes)) return false;
  // An edited line's goods before is known only where this tool wrote it.
  const auto writtenBefore = [&](const std::string& table, std::int32_t key) -> std::optional<std::int32_t> {
    for (const DocumentKindRow& row : kDocumentKinds) {
      if (table != row.tables.lines) continue;
      const Goods& written = lastWritten_[kindIndex(row.kind)];
      const auto line = written.find(key);
      return line == written.end() ? std::nullopt : std::optional<std::int32_t>(line->second);
    }
    return std::nullopt;
  };
  // The tool's own rows are its cost writes, placed by their time.
  return ownWritesPlaced(changes, writtenBefore) && talvix::touchedGoods(changes, writtenBefore, touched_);
}

void QuietLines::passStarts(const DocumentChanges& changes) {
  touched_.clear();
  for (std::size_t k = 0; k < kKindCount; ++k) {
    lastWritten_[k] = std::move(written_[k]);
    written_[k].clear();
  }
  if (!touchedGoods(changes)) {
    clear();
    return;
  }
  // A kind whose lines the last pass wrote holds other costs now, whether or not the look saw the
  // writes (one under a table's window is seen only by its whole look).
  // A select reads its kind's headers and lines, and the goods register, whose change emptied all.
  for (const DocumentKindRow& row : kDocumentKinds) {
    const std::size_t k = kindIndex(row.kind);
    if (!lastWritten_[k].empty() || reachesSelection(changes, row)) selections_[k].reset();
  }
}

QuietLines::Lines QuietLines::selection(DocumentKind kind, const std::string& key) const {
  const std::optional<Selection>& selection = selections_[kindIndex(kind)];
  return selection && selection->key == key ? selection->lines : nullptr;
}

void QuietLines::selected(DocumentKind kind, std::string key, Lines lines) {
  selections_[kindIndex(kind)] = Selection{std::move(key), std::move(lines)};
}

bool QuietLines::quiet(DocumentKind kind, std::int32_t isn, std::int32_t goods) const {
  const auto& lines = quiet_[kindIndex(kind)];
  const auto line = lines.find(isn);
  if (line == lines.end() || line->second.goods != goods || touched_.contains(goods)) return false;
  // A line of its goods written after it was priced may price it differently now.
  const auto written = lastWrite_.find(goods);
  return written == lastWrite_.end() || written->second < line->second.at;
}

void QuietLines::wroteNothing(DocumentKind kind, std::int32_t isn, std::int32_t goods) {
  quiet_[kindIndex(kind)][isn] = {goods, ++clock_};
}

void QuietLines::wrote(DocumentKind kind, std::int32_t isn, std::int32_t goods) {
  quiet_[kindIndex(kind)].erase(isn);
  written_[kindIndex(kind)][isn] = goods;
  lastWrite_[goods] = ++clock_;
}

}  // namespace talvix
