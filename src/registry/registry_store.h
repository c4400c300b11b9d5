#pragma once
// The Windows registry of the current user (HKEY_CURRENT_USER), as the tool's code sees it.
// On Linux it is one text file in regedit's export format (see reg_file_format.h), so keys can be
// moved between Windows and Linux with regedit's own files. RegFileStore is that file; keys and
// values match without regard to case and keep their spelling.

#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace talvix {

class RegistryError : public std::runtime_error {
  using runtime_error::runtime_error;
};

// An open key. Reads see the file as it was when the key was opened, or as the key's own last write
// left it; each write re-reads the file under the lock and changes only its own value.
class RegistryKey {
 public:
  virtual ~RegistryKey() = default;
  virtual std::vector<std::string> valueNames() const = 0;             // file order; the default value is not listed
  virtual std::int32_t readInteger(const std::string& name) const = 0;  // REG_DWORD; throws when missing or another type
  virtual double readDateTime(const std::string& name) const = 0;       // 8-byte REG_BINARY, OLE date; throws likewise
  // REG_SZ (quoted or hex(1)) or REG_EXPAND_SZ, unexpanded; "" when missing; name "" is the default
  // value (@); throws on another type.
  virtual std::string readString(const std::string& name) const = 0;
  virtual void writeInteger(const std::string& name, std::int32_t value) = 0;  // throws when the write fails
  virtual void writeDateTime(const std::string& name, double value) = 0;       // throws also for a non-finite date
  // REG_SZ; name "" is the default value. Text with a line break goes in as hex(1), as regedit writes
  // it; text with a NUL or that is not UTF-8 throws.
  virtual void writeString(const std::string& name, const std::string& value) = 0;
};

class RegistryStore {
 public:
  virtual ~RegistryStore() = default;
  // path like "Software\\ORMANTA\\Talvix\\Bazes", relative to HKEY_CURRENT_USER.
  // nullptr when the key does not exist; throws RegistryError when the file cannot be read or parsed.
  virtual std::unique_ptr<RegistryKey> openForRead(const std::string& path) = 0;
  // Creates the key; nullptr when it cannot be opened (unparseable file, unwritable directory),
  // the file then being left as it was.
  virtual std::unique_ptr<RegistryKey> openForWrite(const std::string& path) = 0;
};

// How long a write waits for another program's lock before the key counts as not openable.
inline constexpr std::chrono::milliseconds kRegistryLockWait = std::chrono::seconds(10);

// The registry file at filePath; a missing file is an empty registry. Writes replace the file
// atomically under an flock on "<file>.lock" (left in place), creating the directory when missing
// (new folders 0700, new files 0600: the file names servers and paths). A write whose result would
// not parse again is refused. Keys may outlive the store.
class RegFileStore : public RegistryStore {
 public:
  explicit RegFileStore(std::string filePath, std::chrono::milliseconds lockWait = kRegistryLockWait);
  std::unique_ptr<RegistryKey> openForRead(const std::string& path) override;
  std::unique_ptr<RegistryKey> openForWrite(const std::string& path) override;
  const std::string& filePath() const { return filePath_; }

 private:
  std::string filePath_;
  std::chrono::milliseconds lockWait_;
};

// $TALVIX_REGISTRY when set, else ${XDG_CONFIG_HOME:-$HOME/.config}/talvix/registry.reg.
std::string defaultRegistryPath();

}  // namespace talvix
