#pragma once
// The stock database's schema (db/schema.sql, built into the binary) and the table and column
// names the tool shares between its steps.
#include <string>

namespace talvix {

const char* schemaSql();

// Creates a database at databaseName holding the schema.
void createStockDatabase(const std::string& databaseName);

}  // namespace talvix
