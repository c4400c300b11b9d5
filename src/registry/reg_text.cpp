#include "registry/reg_text.h"

#include <cstdint>

namespace talvix::regfile {
namespace {

// Windows-1257 from 0x80 on; 0 marks the bytes the code page leaves out.
constexpr char16_t kCp1257High[128] = {
    0x20AC, 0,      0x201A, 0,      0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0,      0x2030, 0,      0x2039, 0,      0x00A8, 0x02C7, 0x00B8,  // 88
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0,      0x2122, 0,      0x203A, 0,      0x00AF, 0x02DB, 0,       // 98
    0x00A0, 0,      0x00A2, 0x00A3, 0x00A4, 0,      0x00A6, 0x00A7,  // A0
    0x00D8, 0x00A9, 0x0156, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00C6,  // A8
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x00F8, 0x00B9, 0x0157, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00E6,  // B8
    0x0104, 0x012E, 0x0100, 0x0106, 0x00C4, 0x00C5, 0x0118, 0x0112,  // C0
    0x010C, 0x00C9, 0x0179, 0x0116, 0x0122, 0x0136, 0x012A, 0x013B,  // C8
    0x0160, 0x0143, 0x0145, 0x00D3, 0x014C, 0x00D5, 0x00D6, 0x00D7,  // D0
    0x0172, 0x0141, 0x015A, 0x016A, 0x00DC, 0x017B, 0x017D, 0x00DF,  // D8
    0x0105, 0x012F, 0x0101, 0x0107, 0x00E4, 0x00E5, 0x0119, 0x0113,  // E0
    0x010D, 0x00E9, 0x017A, 0x0117, 0x0123, 0x0137, 0x012B, 0x013C,  // E8
    0x0161, 0x0144, 0x0146, 0x00F3, 0x014D, 0x00F5, 0x00F6, 0x00F7,  // F0
    0x0173, 0x0142, 0x015B, 0x016B, 0x00FC, 0x017C, 0x017E, 0x02D9,  // F8
};

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

DecodedText utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  DecodedText result;
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

DecodedText cp1257ToUtf8(std::string_view bytes) {
  DecodedText result;
  result.utf8.reserve(bytes.size());
  for (const char byte : bytes) {
    const auto code = static_cast<std::uint8_t>(byte);
    const char32_t c = code < 0x80 ? code : kCp1257High[code - 0x80];
    if (code >= 0x80 && c == 0) {
      result.ok = false;
      return result;
    }
    appendUtf8(result.utf8, c);
  }
  return result;
}

std::string utf8ToUtf16le(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  const auto unit = [&out](char32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  };
  for (std::size_t at = 0; at < utf8.size();) {
    char32_t c = 0;
    const std::size_t length = decodeUtf8(utf8, at, c);
    at += length == 0 ? 1 : length;
    if (length == 0) c = 0xFFFD;  // callers check first; a stray byte is not worth an exception here
    if (c < 0x10000) {
      unit(c);
    } else {
      unit(0xD800 + ((c - 0x10000) >> 10));
      unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return out;
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
