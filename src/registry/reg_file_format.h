#pragma once
// The registry file: a Windows Registry Editor export (".reg"). HKEY_CURRENT_USER sections are parsed
// into keys and values; sections of other hives and comments before the first key are kept as read.
// Reads UTF-8 (BOM optional) or UTF-16 with BOM, CRLF or LF; headers "Windows Registry Editor
// Version 5.00" or "REGEDIT4" (without a BOM that one is Windows-1257, as regedit wrote it). A NUL
// inside quoted text is refused. Writes UTF-8 without BOM, LF line ends, the version 5.00 header.
// Delete lines ([-key], "name"=-) are applied while reading, so a rewritten file no longer has them.
// Repeated sections of one key merge, as regedit would import them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talvix::regfile {

enum class ValueForm {
  String,    // "name"="text"
  Dword,     // "name"=dword:0000000a
  Binary,    // "name"=hex:01,02 (REG_BINARY)
  OtherHex,  // "name"=hex(N):..., any other type; written back exactly as read, or from bytes when made here
  Comment,   // a ";" line inside the key, kept in place; not a value
};

struct RegValue {
  ValueForm form = ValueForm::String;
  std::string name;          // "" is the key's default value (@)
  std::string text;          // String: the text; OtherHex: "hex(N):..." as read, "" when made here; Comment: the line
  std::uint32_t dword = 0;   // Dword
  std::string bytes;         // Binary, OtherHex: the data bytes
  std::uint32_t hexType = 0; // OtherHex: the N of hex(N), the Windows value type
};

struct RegSection {
  bool ours = true;                // false: kept as read, in `lines`
  std::string path;                // ours: key path below HKEY_CURRENT_USER as spelled; "" is the hive
  std::vector<RegValue> values;    // ours, in file order
  std::vector<std::string> lines;  // not ours
};

// Keys match without regard to case; a key exists when it has a section or a subkey has one.
struct RegDocument {
  std::vector<RegSection> sections;

  const RegSection* findKey(std::string_view path) const;
  bool keyExists(std::string_view path) const;
  RegSection snapshot(std::string_view path) const;  // the key's section, or an empty one
  RegSection& obtainKey(std::string_view path);      // appends a section when missing
  void deleteTree(std::string_view path);
};

const RegValue* findValue(const RegSection& key, std::string_view name);
// Replaces a same-named value in place, keeping its spelling and position, or appends.
void setValue(RegSection& key, RegValue value);
void removeValue(RegSection& key, std::string_view name);

// Key path as callers give it ("Software\\ORMANTA\\Talvix"), without outer backslashes;
// nullopt when a component is empty or the path holds a line break or NUL.
std::optional<std::string> normaliseKeyPath(std::string_view path);

// Throws RegistryError "<fileName>:<line>: <what>" on the first fault.
RegDocument parseRegFile(std::string_view bytes, const std::string& fileName);
std::string serialiseRegFile(const RegDocument& document);

}  // namespace talvix::regfile
