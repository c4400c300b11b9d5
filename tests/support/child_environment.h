#pragma once
// What a test's child process starts with: this process's environment with some variables set to
// the test's own values, and argv/envp arrays over strings the caller keeps alive.
#include <string>
#include <utility>
#include <vector>

namespace talvix::test {

// Every variable of this process but those named in `dropped` or `set`, then `set`'s.
std::vector<std::string> childEnvironment(const std::vector<std::string>& dropped,
                                          const std::vector<std::pair<std::string, std::string>>& set);

// Pointers into texts, ended by a null, for execve.
std::vector<char*> pointers(std::vector<std::string>& texts);

}  // namespace talvix::test
