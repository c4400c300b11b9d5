#pragma once
// The selects the report reads a kind's lines with, built from the kind's record, so every kind
// answers with the same column names and one reader (DocumentLineFields) serves them all.
#include "data/document_tables.h"

#include <string>

namespace talvix {

// The period's lines still without cost (0.00 or NULL), by date and key, with the goods' name and
// service flag; a column the kind lacks reads as a typed 0. Takes no services filter.
std::string unpricedLinesSql(DocumentKind kind);

// One line by :ISN with its cost as COST and its goods' name and service flag; a column the kind
// lacks is left out, and the sale price keeps its own name.
std::string lineByKeySql(DocumentKind kind);

// The header date of one line by :ISN.
std::string lineDateSql(DocumentKind kind);

}  // namespace talvix
