#pragma once
// An open key of either store: reads come from a copy of the key taken when it was opened; a write
// hands its change to `Update`, which applies it to the registry as it stands and returns the key
// as it then is, and that becomes the new copy.

#include <functional>

#include "registry/reg_file_format.h"
#include "registry/registry_store.h"

namespace talvix::regfile {

class RegSnapshotKey final : public RegistryKey {
 public:
  using Change = std::function<void(RegSection&)>;
  using Update = std::function<RegSection(const Change&)>;

  RegSnapshotKey(RegSection snapshot, Update update);

  std::vector<std::string> valueNames() const override;
  std::int32_t readInteger(const std::string& name) const override;
  double readDateTime(const std::string& name) const override;
  std::string readString(const std::string& name) const override;
  void writeInteger(const std::string& name, std::int32_t value) override;
  void writeDateTime(const std::string& name, double value) override;
  void writeString(const std::string& name, const std::string& value) override;

 private:
  const RegValue& require(const std::string& name) const;
  [[noreturn]] void failValue(const std::string& name, const std::string& what) const;
  void write(RegValue value);

  RegSection snapshot_;
  Update update_;
};

}  // namespace talvix::regfile
