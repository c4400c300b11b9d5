#include "pricing/library.h"

#include "data/query.h"
#include "pricing/fifo_cost.h"
#include "pricing/operation_log.h"
#include "pricing/run_timer.h"
#include "pricing/stock_movements.h"
#include "pricing/weighted_average.h"

#include <cmath>

namespace talvix::pricing {
namespace {

constexpr const char* kSalePriceSql = "SELECT CENA1 FROM N_KLPREC WHERE ISN = :ISN";
constexpr const char* kBlockedDaySql =
    "SELECT FIRST 1 ISN FROM N_BLOKDIENAS WHERE DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ";

double finiteOrZero(double value) { return std::isfinite(value) ? value : 0.0; }

// The data module and every statement on it. Shared by the library and the weighted-average
// objects it hands out, so either may outlive the other. Statements are declared after the
// data module so they are released before it detaches.
struct Core {
  Core() : movements(data.PRECES_DB), log(data.PRECES_DB), salePrice(data.PRECES_DB), blockedDay(data.PRECES_DB) {
    salePrice.setSql(kSalePriceSql);
    blockedDay.setSql(kBlockedDaySql);
  }

  MainFormDati data;
  StockMovements movements;
  OperationLog log;
  Query salePrice;
  Query blockedDay;
};

class KlprecInfo : public TN_KlprecInfo {
 public:
  explicit KlprecInfo(double firstSalePrice) : firstSalePrice_(firstSalePrice) {}
  double FirstSalePrice() const override { return firstSalePrice_; }

 private:
  double firstSalePrice_;
};

// Keeps nothing between calls: every call reads the movements as they are now.
class VidSvPasizm : public TVidSvPasizm {
 public:
  explicit VidSvPasizm(std::shared_ptr<Core> core) : core_(std::move(core)) {}
  double GetVidSvPasizmaksa(int goods, int dept, DateTime date, bool /*transfer*/, bool /*singleKind*/) override {
    return movingAverageCost(core_->movements.averageMovements(goods, dept, date));
  }

 private:
  std::shared_ptr<Core> core_;
};

class StockPricingLibrary : public PricingLibrary {
 public:
  StockPricingLibrary() : core_(std::make_shared<Core>()) {}

  MainFormDati& mainFormDati() override { return core_->data; }

  DateTime DatNo(DateTime today) override {
    int year, month, day;
    decodeDate(today, year, month, day);
    return makeDate(year, month, 1);
  }

  DateTime DatLidz(DateTime today) override {
    int year, month, day;
    decodeDate(today, year, month, day);
    return month == 12 ? makeDate(year, 12, 31) : makeDate(year, month + 1, 1) - 1;
  }

  bool VaiBloketsPeriods(DateTime first, DateTime last) override {
    Query& query = core_->blockedDay;
    query.setDateTime("DAT_NO", wholeDate(first));
    query.setDateTime("DAT_LIDZ", wholeDate(last));
    query.open();
    const bool blocked = !query.eof();
    query.close();
    return blocked;
  }

  void PutInOperacija(const std::string& label, DateTime date, const std::string& text1, const std::string& text2,
                      int number1, const std::string& text3, const Query* query, int number2) override {
    core_->log.write(label, date, text1, text2, number1, text3, query, number2);
  }

  double GetPasizmaksa(int goods, int dept, DateTime date, double stock, double quantity, double dayQuantity,
                       std::vector<std::string>& list) override {
    return fifoUnitCost(core_->movements.layers(goods, dept, date), stock, quantity, dayQuantity, list);
  }

  double GetPedIepCena(int goods, int dept, int mode, DateTime date) override {
    return core_->movements.lastReceiptPrice(goods, dept, mode == 0, date);
  }

  double PrecValid(int goods, int dept, DateTime date) override {
    return core_->movements.stockBeforeOutflows(goods, dept, date);
  }

  double ApgrozDaudzums(int goods, int dept, DateTime date) override {
    return core_->movements.balanceOnDay(goods, dept, date);
  }

  std::unique_ptr<TN_KlprecInfo> newKlprecInfo(int goods) override {
    Query& query = core_->salePrice;
    query.setInteger("ISN", goods);
    query.open();
    const double price = query.eof() ? 0.0 : finiteOrZero(query.asDouble(0));
    query.close();
    return std::make_unique<KlprecInfo>(price);
  }

  std::unique_ptr<TVidSvPasizm> newVidSvPasizm() override { return std::make_unique<VidSvPasizm>(core_); }

  std::unique_ptr<TMylaiks> newMylaiks() override { return std::make_unique<RunTimer>(); }

 private:
  std::shared_ptr<Core> core_;
};

}  // namespace

std::unique_ptr<PricingLibrary> MainFormDatiDll() { return std::make_unique<StockPricingLibrary>(); }

}  // namespace talvix::pricing
