#pragma once
// What a person reads when a database does not open: the fixed "Nevaru atvērt datu bāzi !!!", a
// Latvian sentence saying why and what to do, then the engine's own text for whoever looks after
// the database.
#include <string>

namespace talvix {

inline constexpr const char* kCannotOpenDatabase = "Nevaru atvērt datu bāzi !!!";

// The Latvian sentence for the engine's text (a general one where the text is not recognised).
std::string latvianOpenReason(const std::string& engineText);

// kCannotOpenDatabase, " ", the sentence, a line break and the engine's text.
std::string openFailureText(const std::string& engineText);

}  // namespace talvix
