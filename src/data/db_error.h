#pragma once
// The one exception type of the database layer. Its text is Firebird's own message (or, for a
// misuse of the layer, a sentence naming the statement or parameter at fault); codes are the
// Firebird error codes of the status, for a caller that must tell one failure from another.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace talvix {

class DbError : public std::runtime_error {
 public:
  explicit DbError(const std::string& text, std::vector<std::intptr_t> codes = {})
      : std::runtime_error(text), codes_(std::move(codes)) {}
  bool has(std::intptr_t code) const {
    for (const std::intptr_t c : codes_)
      if (c == code) return true;
    return false;
  }

 private:
  std::vector<std::intptr_t> codes_;
};

}  // namespace talvix
