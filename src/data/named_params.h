#pragma once
// Turns SQL with named parameters (:NAME) into Firebird's positional form (?). A name may appear
// several times; a colon inside a string literal, a quoted identifier or a comment is left alone.
#include <string>
#include <vector>

namespace talvix {

struct PositionalSql {
  std::string sql;                     // the text with every :NAME replaced by ?
  std::vector<std::string> positions;  // the upper-cased name at each ? in order
};

PositionalSql toPositional(const std::string& sql);

}  // namespace talvix
