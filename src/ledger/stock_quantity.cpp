#include "ledger/stock_quantity.h"

#include "data/query.h"

namespace talvix {

namespace {
constexpr const char* kConfirmedBalanceSql =
    "SELECT O_PRATL_PAV.ISN FROM O_PRATL_PAV, O_PRATL_PRC WHERE O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV AND "
    "O_PRATL_PAV.DATUMS=:DATUMS AND O_PRATL_PAV.ISNODALA = :ISDEPART AND O_PRATL_PRC.ISPRECE = :ISPRECE AND "
    "(O_PRATL_PAV.NEAPSTIPR != 'T' OR O_PRATL_PAV.NEAPSTIPR IS NULL OR O_PRATL_PAV.NEAPSTIPR='')";
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
