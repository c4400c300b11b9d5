#include "pricing/library.h"

#include "data/query.h"
#include "pricing/cost_trail.h"
#include "pricing/fifo_cost.h"
#include "pricing/finite_price.h"
#include "pricing/kept_movements.h"
#include "pricing/movement_cache.h"
#include "pricing/movement_source.h"
#include "pricing/operation_log.h"
#include "pricing/period_rules.h"
#include "pricing/run_timer.h"
#include "pricing/stock_movements.h"

#include <cstdlib>
#include <cstring>

namespace talvix::pricing {
namespace {

constexpr const char* kSalePriceSql = "SELECT CENA1 FROM N_KLPREC WHERE ISN = :ISN";

constexpr const char* kCacheVariable = "TALVIX_PRICING_CACHE";

// The data module and every object answering on it, one per concern. Shared by the library and
// the weighted-average objects it hands out, so either may outlive the other. Statements are
// declared after the data module so they are released before it detaches.
struct Core {
  explicit Core(const LibraryOptions& options)
      : reader(data.PRECES_DB),
        cache(options.movementCache ? std::make_unique<MovementCache>(data.PRECES_DB, options.goodsReadOneByOne)
                                    : nullptr),
        source(cache ? static_cast<MovementSource&>(*cache) : reader),
        kept(cache ? static_cast<KeptMovements&>(*cache) : nothingKept),
        log(data.PRECES_DB),
        calendar(data.PRECES_DB),
        salePrice(data.PRECES_DB) {
    salePrice.setSql(kSalePriceSql);
    // The connection object stays for the library's life, so the observer also sees every later
    // attachment's work.
    if (cache)
      observer = data.PRECES_DB.addDataObserver(
          [this](DataEvent event, const Query* query) { cache->onData(event, query); });
  }
  // The connection tells of its closing while it is destroyed, after the cache.
  ~Core() {
    if (cache) data.PRECES_DB.removeDataObserver(observer);
  }

  MainFormDati data;
  StockMovements reader;
  std::unique_ptr<MovementCache> cache;  // null: every question reads the database
  KeptMovements nothingKept;
  MovementSource& source;
  KeptMovements& kept;
  OperationLog log;
  PeriodRules calendar;
  Query salePrice;
  int observer = 0;
};

class KlprecInfo : public TN_KlprecInfo {
 public:
  explicit KlprecInfo(double firstSalePrice) : firstSalePrice_(firstSalePrice) {}
  double FirstSalePrice() const override { return firstSalePrice_; }

 private:
  double firstSalePrice_;
};

// Keeps nothing of its own between calls; the shared movement source follows every write.
class VidSvPasizm : public TVidSvPasizm {
 public:
  explicit VidSvPasizm(std::shared_ptr<Core> core) : core_(std::move(core)) {}
  double GetVidSvPasizmaksa(int goods, int dept, DateTime date, bool /*transfer*/, bool /*singleKind*/) override {
    return core_->source.movingAverage(goods, dept, date);
  }

 private:
  std::shared_ptr<Core> core_;
};

// The library's calls, each passed to the one object of its concern. Its calls tell of no run's or
// step's start: a run takes a new timer as it starts, and a step writes its operation-log entry as
// it starts, so those two also tell the movements kept.
class StockPricingLibrary final : public PricingLibrary {
 public:
  explicit StockPricingLibrary(const LibraryOptions& options) : core_(std::make_shared<Core>(options)) {}

  MainFormDati& mainFormDati() override { return core_->data; }

  DateTime DatNo(DateTime today) override { return PeriodRules::firstDay(today); }
  DateTime DatLidz(DateTime today) override { return PeriodRules::lastDay(today); }
  bool VaiBloketsPeriods(DateTime first, DateTime last) override { return core_->calendar.blocked(first, last); }

  void PutInOperacija(const std::string& label, DateTime date, const std::string& text1, const std::string& text2,
                      int number1, const std::string& text3, const Query* query, int number2) override {
    core_->kept.stepStarted();
    core_->log.write(label, date, text1, text2, number1, text3, query, number2);
  }

  std::unique_ptr<TMylaiks> newMylaiks() override {
    core_->kept.runStarted();
    return std::make_unique<RunTimer>();
  }

  double GetPasizmaksa(int goods, int dept, DateTime date, double stock, double quantity, double dayQuantity,
                       std::vector<std::string>& list) override {
    const MovementSource::FifoWalk walk = core_->source.fifoWalk(goods, dept, date, stock, quantity, dayQuantity);
    describeTaking(walk.layers, walk.taking, list);
    return walk.taking.cost;
  }
  double GetPedIepCena(int goods, int dept, int mode, DateTime date) override {
    return core_->source.lastReceiptPrice(goods, dept, mode == 0, date);
  }
  double PrecValid(int goods, int dept, DateTime date) override {
    return core_->source.stockBeforeOutflows(goods, dept, date);
  }
  double ApgrozDaudzums(int goods, int dept, DateTime date) override {
    return core_->source.balanceOnDay(goods, dept, date);
  }
  std::optional<DateTime> NextStockIn(int goods, int dept, DateTime date) override {
    return core_->source.nextStockIn(goods, dept, date);
  }
  std::optional<ClientSaleAnswer> ClientSaleFromHistory(const ClientSaleQuestion& question) override {
    return core_->source.clientSale(question);
  }
  std::unique_ptr<TN_KlprecInfo> newKlprecInfo(int goods) override {
    Query& query = core_->salePrice;
    query.setInteger("ISN", goods);
    query.open();
    const double price = query.eof() ? 0.0 : finitePrice(query.asDouble(0));
    query.close();
    return std::make_unique<KlprecInfo>(price);
  }
  std::unique_ptr<TVidSvPasizm> newVidSvPasizm() override { return std::make_unique<VidSvPasizm>(core_); }

  void ExpectPeriod(DateTime first, DateTime /*last*/) override { core_->kept.periodExpected(first); }
  void PassStarted(Transaction& snapshot, const DocumentChanges& changes) override {
    core_->kept.passStarted(snapshot, changes);
  }
  void PassEnded() override { core_->kept.passEnded(); }

  DateTime LastCostedInflowDay(int goods, int dept, DateTime date) override {
    return core_->source.newestLayerDay(goods, dept, date);
  }
  FifoTrail FifoLayersTaken(int goods, int dept, DateTime date, double stock, double quantity,
                            double dayQuantity) override {
    return fifoTrail(core_->source.fifoWalk(goods, dept, date, stock, quantity, dayQuantity), stock);
  }
  std::vector<AverageStep> AverageReplay(int goods, int dept, DateTime date) override {
    return averageReplay(core_->reader, goods, dept, date);
  }

 private:
  std::shared_ptr<Core> core_;
};

}  // namespace

std::unique_ptr<PricingLibrary> MainFormDatiDll() {
  const char* setting = std::getenv(kCacheVariable);
  LibraryOptions options;
  options.movementCache = !(setting && std::strcmp(setting, "0") == 0);
  return MainFormDatiDll(options);
}

std::unique_ptr<PricingLibrary> MainFormDatiDll(const LibraryOptions& options) {
  return std::make_unique<StockPricingLibrary>(options);
}

}  // namespace talvix::pricing
