#pragma once
// A registry file for a test that starts the host: the database listed and chosen, the period and
// the given integer settings under the window's key, as the window would have saved them.
#include "data/date_time.h"

#include <map>
#include <string>

namespace talvix::test {

void writeHostRegistry(const std::string& registryPath, const std::string& database, DateTime from, DateTime to,
                       const std::map<std::string, int>& settings);

}  // namespace talvix::test
