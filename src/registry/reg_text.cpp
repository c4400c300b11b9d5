#include "registry/reg_text.h"

#include <cstdint>

namespace talvix::regfile {
namespace {

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Decodes one well-formed UTF-8 sequence at `at`; returns its length, or 0 when malformed.
std::size_t decodeUtf8(std::string_view s, std::size_t at, char32_t& out) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
  const std::uint8_t lead = byte(at);
  if (lead < 0x80) {
    out = lead;
    return 1;
  }
  std::size_t length = 0;
  char32_t min = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, out = lead & 0x1F, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, out = lead & 0x0F, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, out = lead & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (at + length > s.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    out = (out << 6) | (byte(at + i) & 0x3F);
  }
  const bool surrogate = out >= 0xD800 && out <= 0xDFFF;
  return (out < min || out > 0x10FFFF || surrogate) ? 0 : length;
}

char32_t foldLetter(char32_t c) {
  const bool odd = (c & 1) != 0;
  if (c >= U'A' && c <= U'Z') return c + 0x20;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  if (c == 0x130 || c == 0x131) return c;  // Turkish dotted/dotless i have no plain pair
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c | 1;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return odd ? c + 1 : c;
  if (c == 0x178) return 0xFF;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return c;
}

}  // namespace

Utf16Decoded utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  Utf16Decoded result;
  const auto unitAt = [&](std::size_t i) -> char32_t {
    const auto lo = static_cast<std::uint8_t>(bytes[bigEndian ? i + 1 : i]);
    const auto hi = static_cast<std::uint8_t>(bytes[bigEndian ? i : i + 1]);
    return static_cast<char32_t>(hi << 8 | lo);
  };
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    char32_t unit = unitAt(i);
    if (unit >= 0xDC00 && unit <= 0xDFFF) break;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 3 >= bytes.size()) break;
      const char32_t low = unitAt(i + 2);
      if (low < 0xDC00 || low > 0xDFFF) break;
      unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    }
    appendUtf8(result.utf8, unit);
  }
  result.ok = i == bytes.size();
  return result;
}

std::size_t invalidUtf8Offset(std::string_view text) {
  char32_t ignored = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = decodeUtf8(text, at, ignored);
    if (length == 0) return at;
    at += length;
  }
  return std::string_view::npos;
}

std::string foldCase(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    char32_t c = 0;
    const std::size_t length = decodeUtf8(utf8, at, c);
    if (length == 0) {  // names from callers are not checked; pass stray bytes through
      out += utf8[at++];
      continue;
    }
    appendUtf8(out, foldLetter(c));
    at += length;
  }
  return out;
}

bool sameName(std::string_view a, std::string_view b) { return foldCase(a) == foldCase(b); }

}  // namespace talvix::regfile
