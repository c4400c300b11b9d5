#pragma once
// Every row of every user table of a database as text, for tests that prove a path wrote nothing.
#include <string>

namespace talvix {
class Connection;
}

namespace talvix::test {

std::string dumpEveryTable(Connection& connection);
// Opens the database for the dump and closes it again.
std::string dumpEveryTable(const std::string& databaseName);

}  // namespace talvix::test
