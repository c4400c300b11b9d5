#pragma once
// Text rules of the registry: decoding the file's UTF-16 or Windows-1257 and checking its UTF-8,
// encoding text as UTF-16LE for hex(1) values, and matching key
// and value names without regard to case as Windows does (ASCII, Latin-1, Latin Extended-A with the
// Latvian letters, Greek and Cyrillic capitals fold to small letters; other characters match exactly).

#include <cstddef>
#include <string>
#include <string_view>

namespace talvix::regfile {

struct DecodedText {
  std::string utf8;
  bool ok = true;  // false: a byte or unit that has no character; utf8 then holds the text before it
};

// Fails at a lone surrogate or an odd byte.
DecodedText utf16ToUtf8(std::string_view bytes, bool bigEndian);
// The Baltic ANSI code page of regedit's REGEDIT4 exports; fails at a byte the code page leaves out.
DecodedText cp1257ToUtf8(std::string_view bytes);
// Well-formed UTF-8 as UTF-16LE, without a terminating NUL.
std::string utf8ToUtf16le(std::string_view utf8);

// Offset of the first byte that is not part of well-formed UTF-8, or npos.
std::size_t invalidUtf8Offset(std::string_view text);

std::string foldCase(std::string_view utf8);
bool sameName(std::string_view a, std::string_view b);

}  // namespace talvix::regfile
