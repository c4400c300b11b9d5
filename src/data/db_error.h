#pragma once
// The one exception type of the database layer. Its text is Firebird's own message (or, for a
// misuse of the layer, a sentence naming the statement or parameter at fault).
#include <stdexcept>
#include <string>

namespace talvix {

class DbError : public std::runtime_error {
 public:
  explicit DbError(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace talvix
