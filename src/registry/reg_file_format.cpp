#include "registry/reg_file_format.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <unordered_map>

#include "registry/reg_text.h"
#include "registry/registry_store.h"

namespace talvix::regfile {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeaderV4 = "REGEDIT4";
constexpr std::string_view kOurHive = "HKEY_CURRENT_USER";
constexpr std::string_view kBlanks = " \t";
constexpr std::size_t kHexLineWidth = 78;  // regedit wraps near 80 columns

std::string_view trimLeft(std::string_view s) {
  const auto at = s.find_first_not_of(kBlanks);
  return at == std::string_view::npos ? std::string_view{} : s.substr(at);
}

std::string_view trimRight(std::string_view s) {
  const auto at = s.find_last_not_of(kBlanks);
  return at == std::string_view::npos ? std::string_view{} : s.substr(0, at + 1);
}

std::string_view trim(std::string_view s) { return trimLeft(trimRight(s)); }

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && sameName(s.substr(0, prefix.size()), prefix);
}

bool isDescendantOrSelf(const std::string& foldedKey, const std::string& foldedPath) {
  if (foldedPath.empty() || foldedKey == foldedPath) return true;
  return foldedKey.size() > foldedPath.size() && foldedKey.starts_with(foldedPath) &&
         foldedKey[foldedPath.size()] == '\\';
}

std::optional<std::uint32_t> parseHexNumber(std::string_view digits) {
  std::uint32_t value = 0;
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
  if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

// "01,0a,ff" into bytes; nullopt on a malformed byte.
std::optional<std::string> parseHexBytes(std::string_view list) {
  std::string bytes;
  if (trim(list).empty()) return bytes;
  for (std::size_t start = 0;;) {
    const auto comma = list.find(',', start);
    const auto token = trim(list.substr(start, comma - start));
    const auto value = token.size() <= 2 ? parseHexNumber(token) : std::nullopt;
    if (!value) return std::nullopt;
    bytes += static_cast<char>(*value);
    if (comma == std::string_view::npos) return bytes;
    start = comma + 1;
  }
}

std::string escapeQuoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + '"';
}

// The text as UTF-8: BOM dropped, UTF-16 decoded, a REGEDIT4 export without BOM decoded from the
// Baltic ANSI code page it was written in, anything else checked to be UTF-8.
std::string decodeText(std::string_view bytes, const std::string& fileName) {
  const auto lineOf = [](std::string_view before) {
    return std::to_string(1 + std::count(before.begin(), before.end(), '\n'));
  };
  const auto decoded = [&](DecodedText text, const char* what) {
    if (!text.ok) throw RegistryError(fileName + ":" + lineOf(text.utf8) + ": " + what);
    return std::move(text.utf8);
  };
  const bool littleEndian = bytes.starts_with("\xFF\xFE");
  if (littleEndian || bytes.starts_with("\xFE\xFF"))
    return decoded(utf16ToUtf8(bytes.substr(2), !littleEndian), "malformed UTF-16 text");
  if (trimLeft(bytes).starts_with(kHeaderV4))
    return decoded(cp1257ToUtf8(bytes), "a byte that Windows-1257 text cannot hold");
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  const auto bad = invalidUtf8Offset(bytes);
  if (bad != std::string_view::npos)
    throw RegistryError(fileName + ":" + lineOf(bytes.substr(0, bad)) + ": text is not UTF-8");
  return std::string(bytes);
}

std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start <= text.size();) {
    auto end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    auto line = text.substr(start, end - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

class Parser {
 public:
  Parser(std::string_view text, const std::string& fileName) : lines_(splitLines(text)), fileName_(fileName) {}

  RegDocument run() {
    if (trim(lines_.front()) != kHeader && trim(lines_.front()) != kHeaderV4)
      fail("not a registry file, the first line must be \"" + std::string(kHeader) + "\"");
    for (at_ = 1; at_ < lines_.size(); ++at_) parseLine(lines_[at_]);
    return std::move(document_);
  }

 private:
  enum class Target { Preamble, Ours, Foreign, Deleted };

  void parseLine(std::string_view raw) {
    const auto line = trimLeft(raw);
    if (line.starts_with('[')) return parseSectionHeader(trimRight(line));
    if (target_ == Target::Foreign || target_ == Target::Preamble) return keepForeign(raw, line);
    if (line.empty()) return;
    if (line.starts_with(';')) {
      if (target_ == Target::Ours) current().values.push_back({.form = ValueForm::Comment, .text = std::string(raw)});
      return;
    }
    if (target_ == Target::Deleted) fail("value under a deleted key");
    parseValueLine(line);
  }

  void keepForeign(std::string_view raw, std::string_view line) {
    if (target_ == Target::Preamble) {
      if (line.empty()) return;
      if (!line.starts_with(';')) fail("value outside a key");
      if (document_.sections.empty()) document_.sections.push_back({.ours = false});
    }
    document_.sections.back().lines.emplace_back(raw);
  }

  void parseSectionHeader(std::string_view line) {
    if (!line.ends_with(']')) fail("unterminated key name, ']' missing");
    auto inner = line.substr(1, line.size() - 2);
    const bool deleting = inner.starts_with('-');
    if (deleting) inner.remove_prefix(1);
    const auto slash = inner.find('\\');
    const auto hive = inner.substr(0, slash);
    if (hive.empty()) fail("empty key name");
    if (!sameName(hive, kOurHive)) {
      target_ = Target::Foreign;
      document_.sections.push_back({.ours = false, .lines = {std::string(line)}});
      return;
    }
    const auto path = normaliseKeyPath(slash == std::string_view::npos ? "" : inner.substr(slash + 1));
    if (!path || (slash != std::string_view::npos && path->empty())) fail("empty key name in the path");
    if (deleting) {
      if (path->empty()) fail("HKEY_CURRENT_USER itself cannot be deleted");
      document_.deleteTree(*path);
      reindex();
      target_ = Target::Deleted;
      return;
    }
    current_ = sectionFor(*path);
    target_ = Target::Ours;
  }

  void parseValueLine(std::string_view line) {
    std::size_t pos = 1;
    RegValue value;
    if (line.starts_with('"')) {
      pos = 0;
      value.name = readQuoted(line, pos);
    } else if (!line.starts_with('@')) {
      fail("expected \"name\"=data or @=data");
    }
    const auto rest = trimLeft(line.substr(pos));
    if (!rest.starts_with('=')) fail("'=' missing after the value name");
    parseData(trim(rest.substr(1)), value);
  }

  void parseData(std::string_view data, RegValue& value) {
    if (data == "-") {
      removeValue(current(), value.name);
      valueIndex_.erase(current_);
      return;
    }
    if (data.starts_with('"')) {
      std::size_t pos = 0;
      value.text = readQuoted(data, pos);
      if (!trim(data.substr(pos)).empty()) fail("text after the closing quote");
    } else if (startsWithNoCase(data, "dword:")) {
      const auto number = parseHexNumber(data.substr(6));
      if (!number) fail("bad dword data, 8 hex digits expected");
      value.form = ValueForm::Dword;
      value.dword = *number;
    } else if (startsWithNoCase(data, "hex:")) {
      value.form = ValueForm::Binary;
      value.bytes = readHexBytes(joinContinued(data.substr(4), nullptr));
    } else if (startsWithNoCase(data, "hex(")) {
      parseOtherHex(data, value);
    } else {
      fail("unknown value type");
    }
    put(std::move(value));
  }

  void parseOtherHex(std::string_view data, RegValue& value) {
    const auto close = data.find("):");
    const auto type = close == std::string_view::npos ? std::nullopt : parseHexNumber(data.substr(4, close - 4));
    if (!type) fail("bad value type, hex(N): expected");
    value.form = ValueForm::OtherHex;
    value.hexType = *type;
    std::string verbatim;
    value.bytes = readHexBytes(joinContinued(data.substr(close + 2), &verbatim));
    value.text = std::string(data.substr(0, close + 2)) + verbatim;
  }

  // Hex data may go on over lines that end in '\'; `verbatim` receives the lines as written.
  std::string joinContinued(std::string_view first, std::string* verbatim) {
    std::string joined;
    const std::size_t startLine = at_;
    for (auto piece = first;;) {
      if (verbatim) *verbatim += (at_ == startLine ? std::string(piece) : "\n" + std::string(lines_[at_]));
      piece = trimRight(piece);
      if (!piece.ends_with('\\')) return joined + std::string(piece);
      joined += piece.substr(0, piece.size() - 1);
      if (at_ + 1 >= lines_.size()) fail("hex data goes on past the end of the file");
      piece = trimLeft(lines_[++at_]);
    }
  }

  std::string readHexBytes(std::string_view list) {
    auto bytes = parseHexBytes(list);
    if (!bytes) fail("bad hex data, two-digit bytes separated by commas expected");
    return std::move(*bytes);
  }

  // Reads "..." starting at `pos` (the opening quote); leaves `pos` after the closing quote.
  std::string readQuoted(std::string_view line, std::size_t& pos) {
    std::string text;
    for (++pos; pos < line.size(); ++pos) {
      const char c = line[pos];
      if (c == '"') {
        ++pos;
        return text;
      }
      // It would end the text early wherever it is used (a database path cut short).
      if (c == '\0') fail("NUL character in quoted text");
      if (c == '\\') {
        if (++pos >= line.size()) break;
        if (line[pos] != '\\' && line[pos] != '"') fail(std::string("bad escape \\") + line[pos] + " in quoted text");
      }
      text += line[pos];
    }
    fail("unterminated string");
  }

  RegSection& current() { return document_.sections[current_]; }

  // As setValue, through an index of the key's names: keys of many thousand values stay linear.
  void put(RegValue value) {
    RegSection& key = current();
    auto& names = valueIndexOf(current_);
    const auto [entry, added] = names.try_emplace(foldCase(value.name), key.values.size());
    if (added) return key.values.push_back(std::move(value));
    value.name = std::move(key.values[entry->second].name);
    key.values[entry->second] = std::move(value);
  }

  std::unordered_map<std::string, std::size_t>& valueIndexOf(std::size_t section) {
    const auto [entry, added] = valueIndex_.try_emplace(section);
    if (added) {
      const auto& values = document_.sections[section].values;
      for (std::size_t i = 0; i < values.size(); ++i)
        if (values[i].form != ValueForm::Comment) entry->second.emplace(foldCase(values[i].name), i);
    }
    return entry->second;
  }

  // Repeated sections of one key merge; the index keeps big exports from going quadratic.
  std::size_t sectionFor(const std::string& path) {
    const auto [entry, added] = index_.try_emplace(foldCase(path), document_.sections.size());
    if (added) document_.sections.push_back(RegSection{.path = path});
    return entry->second;
  }

  void reindex() {
    index_.clear();
    valueIndex_.clear();
    for (std::size_t i = 0; i < document_.sections.size(); ++i)
      if (document_.sections[i].ours) index_.emplace(foldCase(document_.sections[i].path), i);
  }

  [[noreturn]] void fail(const std::string& what) const {
    throw RegistryError(fileName_ + ":" + std::to_string(at_ + 1) + ": " + what);
  }

  std::vector<std::string_view> lines_;
  const std::string& fileName_;
  std::size_t at_ = 0;
  Target target_ = Target::Preamble;
  std::size_t current_ = 0;
  std::unordered_map<std::string, std::size_t> index_;
  // Per section, built on first use and dropped when the section's values shift.
  std::unordered_map<std::size_t, std::unordered_map<std::string, std::size_t>> valueIndex_;
  RegDocument document_;
};

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

std::size_t keyIndex(const std::vector<RegSection>& sections, std::string_view path) {
  const std::string folded = foldCase(path);
  for (std::size_t i = 0; i < sections.size(); ++i)
    if (sections[i].ours && foldCase(sections[i].path) == folded) return i;
  return kNone;
}

std::size_t valueIndex(const RegSection& key, std::string_view name) {
  const std::string folded = foldCase(name);
  for (std::size_t i = 0; i < key.values.size(); ++i) {
    const RegValue& value = key.values[i];
    if (value.form != ValueForm::Comment && foldCase(value.name) == folded) return i;
  }
  return kNone;
}

std::string serialiseHex(std::string prefix, std::string_view bytes) {
  std::string out = std::move(prefix);
  std::size_t column = out.size();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char piece[4];
    std::snprintf(piece, sizeof piece, i + 1 < bytes.size() ? "%02x," : "%02x", static_cast<unsigned char>(bytes[i]));
    const std::string_view text(piece);
    if (i > 0 && column + text.size() + 1 > kHexLineWidth) {
      out += "\\\n  ";
      column = 2;
    }
    out += text;
    column += text.size();
  }
  return out;
}

std::string serialiseValue(const RegValue& value) {
  if (value.form == ValueForm::Comment) return value.text;
  const std::string name = (value.name.empty() ? "@" : escapeQuoted(value.name)) + "=";
  switch (value.form) {
    case ValueForm::String:
      return name + escapeQuoted(value.text);
    case ValueForm::Dword: {
      char digits[9];
      std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(value.dword));
      return name + "dword:" + digits;
    }
    case ValueForm::Binary:
      return serialiseHex(name + "hex:", value.bytes);
    default: {
      if (!value.text.empty()) return name + value.text;
      char type[16];
      std::snprintf(type, sizeof type, "hex(%x):", static_cast<unsigned>(value.hexType));
      return serialiseHex(name + type, value.bytes);
    }
  }
}

void serialiseSection(const RegSection& section, std::string& out) {
  if (!section.ours) {
    auto end = section.lines.end();
    while (end != section.lines.begin() && trim(*(end - 1)).empty()) --end;
    for (auto line = section.lines.begin(); line != end; ++line) out += *line + "\n";
  } else {
    out += "[" + std::string(kOurHive) + (section.path.empty() ? "" : "\\" + section.path) + "]\n";
    for (const auto& value : section.values) out += serialiseValue(value) + "\n";
  }
  out += "\n";
}

}  // namespace

const RegSection* RegDocument::findKey(std::string_view path) const {
  const auto at = keyIndex(sections, path);
  return at == kNone ? nullptr : &sections[at];
}

bool RegDocument::keyExists(std::string_view path) const {
  const std::string folded = foldCase(path);
  return folded.empty() || std::any_of(sections.begin(), sections.end(), [&](const RegSection& section) {
           return section.ours && isDescendantOrSelf(foldCase(section.path), folded);
         });
}

RegSection RegDocument::snapshot(std::string_view path) const {
  const RegSection* found = findKey(path);
  return found ? *found : RegSection{.path = std::string(path)};
}

RegSection& RegDocument::obtainKey(std::string_view path) {
  const auto at = keyIndex(sections, path);
  return at == kNone ? sections.emplace_back(RegSection{.path = std::string(path)}) : sections[at];
}

void RegDocument::deleteTree(std::string_view path) {
  const std::string folded = foldCase(path);
  std::erase_if(sections, [&](const RegSection& section) {
    return section.ours && isDescendantOrSelf(foldCase(section.path), folded);
  });
}

const RegValue* findValue(const RegSection& key, std::string_view name) {
  const auto at = valueIndex(key, name);
  return at == kNone ? nullptr : &key.values[at];
}

void setValue(RegSection& key, RegValue value) {
  const auto at = valueIndex(key, value.name);
  if (at == kNone) return key.values.push_back(std::move(value));
  value.name = std::move(key.values[at].name);
  key.values[at] = std::move(value);
}

void removeValue(RegSection& key, std::string_view name) {
  const std::string folded = foldCase(name);
  std::erase_if(key.values, [&](const RegValue& value) {
    return value.form != ValueForm::Comment && foldCase(value.name) == folded;
  });
}

std::optional<std::string> normaliseKeyPath(std::string_view path) {
  if (path.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) return std::nullopt;
  while (path.starts_with('\\')) path.remove_prefix(1);
  while (path.ends_with('\\')) path.remove_suffix(1);
  if (path.find("\\\\") != std::string_view::npos) return std::nullopt;
  return std::string(path);
}

RegDocument parseRegFile(std::string_view bytes, const std::string& fileName) {
  const std::string text = decodeText(bytes, fileName);
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) return {};  // empty file, empty registry
  return Parser(text, fileName).run();
}

std::string serialiseRegFile(const RegDocument& document) {
  std::string out = std::string(kHeader) + "\n\n";
  for (const auto& section : document.sections) serialiseSection(section, out);
  return out;
}

}  // namespace talvix::regfile
