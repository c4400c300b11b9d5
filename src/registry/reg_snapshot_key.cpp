#include "registry/reg_snapshot_key.h"

#include <bit>
#include <cmath>

#include "registry/reg_text.h"

namespace talvix::regfile {
namespace {

constexpr std::size_t kDateTimeSize = 8;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::string_view kLineBreaks = "\r\n";

std::string dateTimeBytes(double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  std::string bytes;
  for (std::size_t i = 0; i < kDateTimeSize; ++i) bytes += static_cast<char>((bits >> (8 * i)) & 0xFF);
  return bytes;
}

double dateTimeFromBytes(std::string_view bytes) {
  std::uint64_t bits = 0;
  for (std::size_t i = 0; i < kDateTimeSize; ++i) bits |= std::uint64_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
  return std::bit_cast<double>(bits);
}

// REG_SZ or REG_EXPAND_SZ data in hex: UTF-16LE up to the first NUL.
std::string hexText(std::string_view bytes) {
  std::string_view text = bytes;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    if (bytes[i] == 0 && bytes[i + 1] == 0) {
      text = bytes.substr(0, i);
      break;
    }
  }
  return utf16ToUtf8(text, false).utf8;
}

}  // namespace

RegSnapshotKey::RegSnapshotKey(RegSection snapshot, Update update)
    : snapshot_(std::move(snapshot)), update_(std::move(update)) {}

std::vector<std::string> RegSnapshotKey::valueNames() const {
  std::vector<std::string> names;
  for (const auto& value : snapshot_.values)
    if (value.form != ValueForm::Comment && !value.name.empty()) names.push_back(value.name);
  return names;
}

std::int32_t RegSnapshotKey::readInteger(const std::string& name) const {
  const RegValue& value = require(name);
  if (value.form != ValueForm::Dword) failValue(name, "is not a DWORD");
  return static_cast<std::int32_t>(value.dword);
}

double RegSnapshotKey::readDateTime(const std::string& name) const {
  const RegValue& value = require(name);
  if (value.form != ValueForm::Binary || value.bytes.size() != kDateTimeSize)
    failValue(name, "is not a date-time (8 bytes of binary data)");
  return dateTimeFromBytes(value.bytes);
}

std::string RegSnapshotKey::readString(const std::string& name) const {
  const RegValue* value = findValue(snapshot_, name);
  if (!value) return {};
  if (value->form == ValueForm::String) return value->text;
  if (value->form == ValueForm::OtherHex && (value->hexType == kRegSz || value->hexType == kRegExpandSz))
    return hexText(value->bytes);
  failValue(name, "is not text");
}

void RegSnapshotKey::writeInteger(const std::string& name, std::int32_t value) {
  write({.form = ValueForm::Dword, .name = name, .dword = static_cast<std::uint32_t>(value)});
}

void RegSnapshotKey::writeDateTime(const std::string& name, double value) {
  if (!std::isfinite(value)) failValue(name, "cannot be set to a non-finite date");
  write({.form = ValueForm::Binary, .name = name, .bytes = dateTimeBytes(value)});
}

void RegSnapshotKey::writeString(const std::string& name, const std::string& value) {
  if (value.find('\0') != std::string::npos) failValue(name, "cannot hold a NUL character");
  if (invalidUtf8Offset(value) != std::string::npos) failValue(name, "cannot be set to text that is not UTF-8");
  if (value.find_first_of(kLineBreaks) == std::string::npos)
    return write({.form = ValueForm::String, .name = name, .text = value});
  // A quoted string cannot go over lines; regedit writes such text as REG_SZ in hex.
  write({.form = ValueForm::OtherHex, .name = name, .bytes = utf8ToUtf16le(value) + std::string(2, '\0'), .hexType = kRegSz});
}

const RegValue& RegSnapshotKey::require(const std::string& name) const {
  const RegValue* value = findValue(snapshot_, name);
  if (!value) failValue(name, "does not exist");
  return *value;
}

void RegSnapshotKey::failValue(const std::string& name, const std::string& what) const {
  const std::string shown = name.empty() ? "(default)" : "\"" + name + "\"";
  throw RegistryError("registry value " + shown + " in HKEY_CURRENT_USER\\" + snapshot_.path + " " + what);
}

void RegSnapshotKey::write(RegValue value) {
  const bool unwritable = value.name.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos ||
                          invalidUtf8Offset(value.name) != std::string::npos;
  if (unwritable) failValue(value.name, "has a name the registry file cannot hold");
  snapshot_ = update_([&value](RegSection& key) { setValue(key, value); });
}

}  // namespace talvix::regfile
