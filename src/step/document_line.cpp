#include "step/document_line.h"

#include "data/query.h"

namespace talvix {
namespace {

int integerOr0(const Query& q, int field) { return field < 0 ? 0 : q.asInteger(field); }
double doubleOr0(const Query& q, int field) { return field < 0 ? 0.0 : q.asDouble(field); }

}  // namespace

DocumentLineFields::DocumentLineFields(const Query& q, const char* salePriceColumn)
    : date_(q.fieldIndex("DATUMS")), dept_(q.findField("ISNODALA")), goods_(q.fieldIndex("ISPRECE")),
      quantity_(q.fieldIndex("DAUDZUMS")), isn_(q.fieldIndex("ISN")), tax_(q.findField("NODOKLIS")),
      client_(q.findField("ISKLIENT")), price_(salePriceColumn ? q.fieldIndex(salePriceColumn) : -1),
      markup_(q.findField("PIECENOJ")), serial_(q.findField("ISSERTIF")), origin_(q.findField("FROM_WHAT")) {}

DocumentLine DocumentLineFields::read(const Query& q) const {
  return {q.asDateTime(date_),    integerOr0(q, dept_),   q.asInteger(goods_),  q.asDouble(quantity_),
          q.asInteger(isn_),      doubleOr0(q, tax_),     integerOr0(q, client_), doubleOr0(q, price_),
          doubleOr0(q, markup_),  integerOr0(q, serial_), integerOr0(q, origin_)};
}

}  // namespace talvix
