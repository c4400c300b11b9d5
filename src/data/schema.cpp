#include "data/schema.h"

#include "data/connection.h"

namespace talvix {

void createStockDatabase(const std::string& databaseName) { createDatabase(databaseName, schemaSql()); }

}  // namespace talvix
