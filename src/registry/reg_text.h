#pragma once
// Text rules of the registry: decoding the file's UTF-16 and checking its UTF-8, and matching key
// and value names without regard to case as Windows does (ASCII, Latin-1, Latin Extended-A with the
// Latvian letters, Greek and Cyrillic capitals fold to small letters; other characters match exactly).

#include <cstddef>
#include <string>
#include <string_view>

namespace talvix::regfile {

struct Utf16Decoded {
  std::string utf8;
  bool ok = true;  // false: a lone surrogate or an odd byte; utf8 then holds the text before it
};

Utf16Decoded utf16ToUtf8(std::string_view bytes, bool bigEndian);

// Offset of the first byte that is not part of well-formed UTF-8, or npos.
std::size_t invalidUtf8Offset(std::string_view text);

std::string foldCase(std::string_view utf8);
bool sameName(std::string_view a, std::string_view b);

}  // namespace talvix::regfile
