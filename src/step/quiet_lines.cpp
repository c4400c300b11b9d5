#include "step/quiet_lines.h"

#include <string>

namespace talvix {
namespace {

constexpr const char* kGoodsRegister = "N_KLPREC";

int indexOf(DocumentKind kind) { return static_cast<int>(kind); }

}  // namespace

void QuietLines::clear() noexcept {
  for (auto& selection : selections_) selection.reset();
  for (auto& lines : quiet_) lines.clear();
  for (auto& lines : written_) lines.clear();
  for (auto& lines : lastWritten_) lines.clear();
  touched_.clear();
  lastWrite_.clear();
}

bool QuietLines::touchedGoods(const DocumentChanges& changes) {
  if (changes.headerEditedOrRowGone() || changes.of(kGoodsRegister)) return false;
  for (const auto& [table, changed] : changes.tables) {
    const DocumentTables* kind = nullptr;
    for (const DocumentTables& tables : kDocumentTables)
      if (table == tables.lines) kind = &tables;
    const bool own = changes.ownOnly.contains(table);
    for (const ChangedRow& row : changed.rows) {
      // The tool's own write, placed by its time; any other row of such a table is unknown.
      if (own) {
        const Goods* written = kind ? &lastWritten_[indexOf(kind->kind)] : nullptr;
        const auto line = written ? written->find(row.key) : Goods::const_iterator{};
        if (!written || line == written->end() || line->second != row.goods) return false;
        continue;
      }
      if (row.goods != kNoGoods) touched_.insert(row.goods);
      if (row.newKey) continue;
      // An edited line (headers' rows here are new): its goods before is known only where this
      // tool wrote it.
      if (!kind) return false;
      const Goods& written = lastWritten_[indexOf(kind->kind)];
      const auto line = written.find(row.key);
      if (line == written.end()) return false;
      touched_.insert(line->second);
    }
  }
  return true;
}

void QuietLines::passStarts(const DocumentChanges& changes) {
  touched_.clear();
  for (std::size_t k = 0; k < std::size(kAllKinds); ++k) {
    lastWritten_[k] = std::move(written_[k]);
    written_[k].clear();
  }
  if (!changes.known || !touchedGoods(changes)) {
    clear();
    return;
  }
  // A select reads its kind's headers and lines and the goods register.
  const bool registerChanged = changes.of(kGoodsRegister) != nullptr;
  for (const DocumentTables& tables : kDocumentTables)
    if (registerChanged || changes.of(tables.header) || changes.of(tables.lines))
      selections_[indexOf(tables.kind)].reset();
}

QuietLines::Lines QuietLines::selection(DocumentKind kind, const std::string& key) const {
  const std::optional<Selection>& selection = selections_[indexOf(kind)];
  return selection && selection->key == key ? selection->lines : nullptr;
}

void QuietLines::selected(DocumentKind kind, std::string key, Lines lines) {
  selections_[indexOf(kind)] = Selection{std::move(key), std::move(lines)};
}

bool QuietLines::quiet(DocumentKind kind, std::int32_t isn, std::int32_t goods) const {
  const auto& lines = quiet_[indexOf(kind)];
  const auto line = lines.find(isn);
  if (line == lines.end() || line->second.goods != goods || touched_.contains(goods)) return false;
  // A line of its goods written after it was priced may price it differently now.
  const auto written = lastWrite_.find(goods);
  return written == lastWrite_.end() || written->second < line->second.at;
}

void QuietLines::wroteNothing(DocumentKind kind, std::int32_t isn, std::int32_t goods) {
  quiet_[indexOf(kind)][isn] = {goods, ++clock_};
}

void QuietLines::wrote(DocumentKind kind, std::int32_t isn, std::int32_t goods) {
  quiet_[indexOf(kind)].erase(isn);
  written_[indexOf(kind)][isn] = goods;
  lastWrite_[goods] = ++clock_;
}

}  // namespace talvix
