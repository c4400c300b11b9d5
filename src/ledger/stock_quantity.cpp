#include "ledger/stock_quantity.h"

#include "data/document_tables.h"
#include "data/query.h"

namespace talvix {

namespace {
constexpr const char* kConfirmedBalanceSql = kindRow(DocumentKind::Balance).confirmedOnDay;
}

double StockQuantity(PricingLibrary& pricing, int goods, int dept, DateTime date, Transaction* transaction) {
  double result = pricing.PrecValid(goods, dept, date);
  Query query(pricing.mainFormDati().PRECES_DB);
  query.setTransaction(transaction);
  query.setSql(kConfirmedBalanceSql);
  query.setDateTime("DATUMS", date);
  query.setInteger("ISDEPART", dept);
  query.setInteger("ISPRECE", goods);
  query.open();
  const int document = query.eof() ? 0 : query.asInteger(0);
  if (document > 0) result += pricing.ApgrozDaudzums(goods, dept, date);
  return result;
}

}  // namespace talvix
