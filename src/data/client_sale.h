#pragma once
// A client-sale look-up: among the issue lines of a goods to a client dated on or before a day,
// the first whose sale price lies within 0.01 of a wanted one. The rule lives here so that the
// database statements and the pricing library's answers from memory apply the same one.
#include "data/date_time.h"

namespace talvix {

// CENA x (PIECENOJ x 0.01 + 1.0).
inline double salePrice(double price, double markup) { return price * (markup * 0.01 + 1.0); }

// Both bounds included.
inline bool salePriceMatches(double candidate, double wanted) {
  constexpr double kTolerance = 0.01;
  return candidate >= wanted - kTolerance && candidate <= wanted + kTolerance;
}

// Which lines a look-up walks, in which order: an issue's own rule takes the earliest (larger
// quantity first, then the lower line key) and skips the line being priced; a return takes them
// in the database's order (the table's, as its goods index yields them).
enum class ClientSales { EarliestFirst, DatabaseOrder };

struct ClientSaleQuestion {
  ClientSales order = ClientSales::EarliestFirst;
  int goods = 0;
  int client = 0;  // a NULL client asks as 0
  DateTime date = 0;
  double wanted = 0.0;  // the sale price to match
  int pricedLine = 0;   // EarliestFirst: the line being priced, which never matches
};

struct ClientSale {
  bool found = false;
  double cost = 0.0;  // its IEP_CENA (0.0 when NULL)
  int line = 0;       // its ISN
};

struct ClientSaleAnswer {
  bool anySale = false;  // the client was sold the goods on or before the date at all
  ClientSale sale;
};

}  // namespace talvix
