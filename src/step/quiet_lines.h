#pragma once
// The lines a continuous pass priced to the cost they already held, so wrote nothing, kept for the
// passes after it. A line's price depends only on its own goods' lines, the headers and the goods
// register, so while the look at the documents shows none of those changed for its goods, and no
// line of its goods was written since, pricing it again gives the same and writes nothing: the
// pass skips it. The tool's own writes are placed by when they were made: one made before the line
// was priced was seen by it. What a change reaches, data/change_reach.h decides. Owned by the
// session state; emptied whenever a change cannot be placed.
#include "data/document_changes.h"
#include "data/document_tables.h"
#include "step/document_line.h"
#include "step/held_cost.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace talvix {

class QuietLines {
 public:
  // At a continuous pass's start, with what changed since the last.
  void passStarts(const DocumentChanges& changes);
  bool quiet(DocumentKind kind, std::int32_t isn, std::int32_t goods) const;
  // What the pass did with a line it priced.
  void wroteNothing(DocumentKind kind, std::int32_t isn, std::int32_t goods);
  void wrote(DocumentKind kind, std::int32_t isn, std::int32_t goods);
  void clear() noexcept;

  // A kind's select, kept while none of the tables it reads changed: the same statement with the
  // same values gives the same lines. key names the statement and its values.
  struct Selected {
    DocumentLine line;
    HeldCost held;
  };
  // Grows without copying: a year's lines are held once, shared with the pass that reads them.
  using Lines = std::shared_ptr<const std::deque<Selected>>;
  Lines selection(DocumentKind kind, const std::string& key) const;
  void selected(DocumentKind kind, std::string key, Lines lines);

 private:
  using Goods = std::unordered_map<std::int32_t, std::int32_t>;  // line key -> goods
  // The goods the changes touch, as the lines were and are, but for the tool's own writes of the pass
  // before; false when an old line's goods is unknown.
  bool touchedGoods(const DocumentChanges& changes);

  struct Quiet {
    std::int32_t goods;
    std::uint64_t at;  // on clock_
  };
  PerKind<std::unordered_map<std::int32_t, Quiet>> quiet_;
  PerKind<Goods> written_;                                     // by this pass
  PerKind<Goods> lastWritten_;                                 // by the pass before
  std::unordered_set<std::int32_t> touched_;                   // by other programs
  std::uint64_t clock_ = 0;                                    // counts what the passes did with lines
  std::unordered_map<std::int32_t, std::uint64_t> lastWrite_;  // goods -> its latest line written
  struct Selection {
    std::string key;
    Lines lines;
  };
  PerKind<std::optional<Selection>> selections_;
};

}  // namespace talvix
