#include "support/child_environment.h"

#include <unistd.h>

namespace talvix::test {

std::vector<std::string> childEnvironment(const std::vector<std::string>& dropped,
                                          const std::vector<std::pair<std::string, std::string>>& set) {
  auto named = [](const std::string& entry, const std::string& name) { return entry.rfind(name + "=", 0) == 0; };
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    bool replaced = false;
    for (const std::string& name : dropped) replaced = replaced || named(text, name);
    for (const auto& [name, value] : set) replaced = replaced || named(text, name);
    if (!replaced) environment.push_back(text);
  }
  for (const auto& [name, value] : set) environment.push_back(name + "=" + value);
  return environment;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (std::string& text : texts) result.push_back(text.data());
  result.push_back(nullptr);
  return result;
}

}  // namespace talvix::test
