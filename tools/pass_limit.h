#pragma once
// Counts FIFO passes in the progress log: a pass ends with the line "FIFO piešķiršana pabeigta " and
// the duration line after it. Told each line's text in turn, says when the given number of passes
// is complete.
#include <string>

namespace talvix::tools {

inline constexpr char kPassDone[] = "FIFO piešķiršana pabeigta ";

class PassLimit {
 public:
  // 0: no limit.
  explicit PassLimit(int passes) : passes_(passes) {}

  // True for the duration line of the last pass; false before it and after it.
  bool completes(const std::string& text) {
    if (passes_ <= 0 || done_ > passes_) return false;
    if (done_ == passes_) {
      ++done_;
      return true;
    }
    if (text == kPassDone) ++done_;
    return false;
  }

 private:
  int passes_;
  int done_ = 0;
};

}  // namespace talvix::tools
