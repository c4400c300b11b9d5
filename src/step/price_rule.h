#pragma once
// The document kinds and the sources a line's cost can come from. Each step's rule choice answers
// with a PriceRule, and the report of lines still without cost asks the same function, so the two
// cannot disagree on which source priced a line.
#include "data/document_tables.h"
#include "step/run_settings.h"

namespace talvix {

// The order both runs take the kinds in.
inline constexpr DocumentKind kKindsInRunOrder[] = {DocumentKind::Balance, DocumentKind::Transfer,
                                                    DocumentKind::Issue, DocumentKind::Return};

enum class PriceRule {
  NotProcessed,       // the step selects the line but leaves it alone, or never selects it
  FirstSalePrice,     // the goods' first sale price without tax
  Serial,             // the receipt price of the unit carrying the serial record
  LastPurchasePrice,  // the latest receipt price in any department
  ClientSale,         // the cost of an earlier sale to the same client at the same price
  Fifo,               // the library's FIFO cost
  BalanceStage,       // a return's fallback: the latest goods-balance cost, else the latest receipt price
  WeightedAverage,    // the library's moving average
};

}  // namespace talvix
