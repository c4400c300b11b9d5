#pragma once
// One selected document line as the steps and the report read it, whatever its kind. A column a
// kind's select lacks reads as 0 or 0.0, as NULL does.
#include "data/date_time.h"

namespace talvix {

class Query;

struct DocumentLine {
  DateTime date;   // DATUMS
  int dept;        // ISNODALA: a transfer's sending department
  int goods;       // ISPRECE
  double quantity; // DAUDZUMS
  int isn;         // ISN
  double tax;      // NODOKLIS
  int client;      // ISKLIENT
  double price;    // the sale price column
  double markup;   // PIECENOJ
  int serial;      // ISSERTIF
  int origin;      // FROM_WHAT
};

// The columns found once per select; reads the current row.
class DocumentLineFields {
 public:
  // salePriceColumn: null when the kind's lines carry no sale price (a transfer's CENA is its cost).
  DocumentLineFields(const Query& select, const char* salePriceColumn);
  DocumentLine read(const Query& select) const;

 private:
  int date_, dept_, goods_, quantity_, isn_, tax_, client_, price_, markup_, serial_, origin_;
};

}  // namespace talvix
