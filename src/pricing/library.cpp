#include "pricing/library.h"

#include "data/query.h"
#include "pricing/fifo_cost.h"
#include "pricing/finite_price.h"
#include "pricing/movement_cache.h"
#include "pricing/operation_log.h"
#include "pricing/run_timer.h"
#include "pricing/stock_movements.h"
#include "pricing/weighted_average.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace talvix::pricing {
namespace {

constexpr const char* kSalePriceSql = "SELECT CENA1 FROM N_KLPREC WHERE ISN = :ISN";
constexpr const char* kBlockedDaySql =
    "SELECT FIRST 1 ISN FROM N_BLOKDIENAS WHERE DATUMS BETWEEN :DAT_NO AND :DAT_LIDZ";

constexpr const char* kCacheVariable = "TALVIX_PRICING_CACHE";

// The data module and every statement on it. Shared by the library and the weighted-average
// objects it hands out, so either may outlive the other. Statements are declared after the
// data module so they are released before it detaches.
struct Core {
  explicit Core(const LibraryOptions& options)
      : movements(data.PRECES_DB),
        cache(data.PRECES_DB, options.goodsReadOneByOne),
        log(data.PRECES_DB),
        salePrice(data.PRECES_DB),
        blockedDay(data.PRECES_DB),
        cached(options.movementCache) {
    salePrice.setSql(kSalePriceSql);
    blockedDay.setSql(kBlockedDaySql);
    // The connection object stays for the library's life, so the observer also sees every later
    // attachment's work.
    observer =
        data.PRECES_DB.addDataObserver([this](DataEvent event, const Query* query) { cache.onData(event, query); });
  }
  // The connection tells of its closing while it is destroyed, after the cache.
  ~Core() { data.PRECES_DB.removeDataObserver(observer); }

  MainFormDati data;
  StockMovements movements;
  MovementCache cache;
  OperationLog log;
  Query salePrice;
  Query blockedDay;
  const bool cached;
  int observer = 0;
};

// Indexed by MovementKind.
constexpr const char* kMovementKindNames[] = {"return",        "transfer in", "receipt",
                                              "goods balance", "issue",       "transfer out"};

StockLayer told(const Movement& m) {
  return {kMovementKindNames[static_cast<int>(m.kind)], m.day, m.isn, m.quantity, m.cost};
}

// The FIFO walk over the cached layers; a walk that reaches the last of a cut history reads the
// goods whole and walks again. layers is left on the span walked.
FifoTaking takeFifo(MovementCache& cache, int goods, int dept, DateTime date, double stock, double quantity,
                    double dayQuantity, std::span<const Movement>& layers) {
  MovementCache::LayerSpan view = cache.layers(goods, dept, date);
  FifoTaking taking = fifoTaking(view.layers, stock, quantity, dayQuantity);
  if (view.cut && taking.taken.size() >= view.layers.size()) {
    cache.readWhole(goods);
    view = cache.layers(goods, dept, date);
    taking = fifoTaking(view.layers, stock, quantity, dayQuantity);
  }
  layers = view.layers;
  return taking;
}

FifoTrail fifoTrail(std::span<const Movement> layers, const FifoTaking& taking, double stock) {
  FifoTrail trail{.stock = finitePrice(stock),
                  .outflow = taking.outflow,
                  .taken = {},
                  .beyondLayers = taking.beyondLayers,
                  .anyLayer = !layers.empty(),
                  .cost = taking.cost};
  for (std::size_t i = 0; i < taking.taken.size(); ++i)
    if (taking.taken[i] > 0) trail.taken.push_back({told(layers[i]), taking.taken[i]});
  return trail;
}

class KlprecInfo : public TN_KlprecInfo {
 public:
  explicit KlprecInfo(double firstSalePrice) : firstSalePrice_(firstSalePrice) {}
  double FirstSalePrice() const override { return firstSalePrice_; }

 private:
  double firstSalePrice_;
};

// Keeps nothing of its own between calls; the shared movement cache follows every write.
class VidSvPasizm : public TVidSvPasizm {
 public:
  explicit VidSvPasizm(std::shared_ptr<Core> core) : core_(std::move(core)) {}
  double GetVidSvPasizmaksa(int goods, int dept, DateTime date, bool /*transfer*/, bool /*singleKind*/) override {
    if (core_->cached) return core_->cache.movingAverage(goods, dept, date);
    return movingAverageCost(core_->movements.averageMovements(goods, dept, date));
  }

 private:
  std::shared_ptr<Core> core_;
};

class StockPricingLibrary : public PricingLibrary {
 public:
  explicit StockPricingLibrary(const LibraryOptions& options) : core_(std::make_shared<Core>(options)) {}

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
    // Every step starts here: it sees what other users committed before it, unless the run named
    // its period, which keeps what it read for the whole pass: ten years are read once per pass.
    if (!core_->cache.folding()) core_->cache.clear();
    core_->log.write(label, date, text1, text2, number1, text3, query, number2);
  }

  double GetPasizmaksa(int goods, int dept, DateTime date, double stock, double quantity, double dayQuantity,
                       std::vector<std::string>& list) override {
    if (!core_->cached)
      return fifoUnitCost(core_->movements.layers(goods, dept, date), stock, quantity, dayQuantity, list);
    std::span<const Movement> layers;
    const FifoTaking taking = takeFifo(core_->cache, goods, dept, date, stock, quantity, dayQuantity, layers);
    describeTaking(layers, taking, list);
    return taking.cost;
  }

  FifoTrail FifoLayersTaken(int goods, int dept, DateTime date, double stock, double quantity,
                            double dayQuantity) override {
    if (core_->cached) {
      std::span<const Movement> layers;
      const FifoTaking taking = takeFifo(core_->cache, goods, dept, date, stock, quantity, dayQuantity, layers);
      return fifoTrail(layers, taking, stock);
    }
    const std::vector<Movement> layers = core_->movements.layers(goods, dept, date);
    return fifoTrail(layers, fifoTaking(layers, stock, quantity, dayQuantity), stock);
  }

  std::vector<AverageStep> AverageReplay(int goods, int dept, DateTime date) override {
    std::vector<Movement> movements = core_->movements.averageMovements(goods, dept, date);
    std::sort(movements.begin(), movements.end(), replayOrder);
    MovingAverage replay;
    std::vector<AverageStep> steps;
    steps.reserve(movements.size());
    for (const Movement& m : movements) {
      replay.add(m);
      steps.push_back({told(m), replay.stock(), replay.cost()});
    }
    return steps;
  }

  double GetPedIepCena(int goods, int dept, int mode, DateTime date) override {
    if (core_->cached) return core_->cache.lastReceiptPrice(goods, dept, mode == 0, date);
    return core_->movements.lastReceiptPrice(goods, dept, mode == 0, date);
  }

  double PrecValid(int goods, int dept, DateTime date) override {
    if (core_->cached) return core_->cache.stockBeforeOutflows(goods, dept, date);
    return core_->movements.stockBeforeOutflows(goods, dept, date);
  }

  double ApgrozDaudzums(int goods, int dept, DateTime date) override {
    if (core_->cached) return core_->cache.balanceOnDay(goods, dept, date);
    return core_->movements.balanceOnDay(goods, dept, date);
  }

  DateTime LastCostedInflowDay(int goods, int dept, DateTime date) override {
    if (core_->cached) {
      const std::span<const Movement> layers = core_->cache.layers(goods, dept, date).layers;
      return layers.empty() ? 0 : layers.front().day;
    }
    const std::vector<Movement> layers = core_->movements.layers(goods, dept, date);
    return layers.empty() ? 0 : layers.front().day;
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

  // Every run starts here.
  std::unique_ptr<TMylaiks> newMylaiks() override {
    // Emptied at the first question, unless a continuous pass proves it still holds.
    core_->cache.suspect();
    return std::make_unique<RunTimer>();
  }

  std::optional<DateTime> NextStockIn(int goods, int dept, DateTime date) override {
    if (!core_->cached) return std::nullopt;
    return core_->cache.nextStockIn(goods, dept, date);
  }

  std::optional<ClientSaleAnswer> ClientSaleFromHistory(const ClientSaleQuestion& question) override {
    if (!core_->cached) return std::nullopt;
    return core_->cache.clientSale(question);
  }

  void ExpectPeriod(DateTime first, DateTime /*last*/) override { core_->cache.setFoldDay(wholeDate(first)); }

  void PassStarted(Transaction& snapshot, const DocumentChanges& changes) override {
    core_->cache.setSnapshot(&snapshot);
    core_->cache.keepThrough(changes);
  }

  void PassEnded() override {
    core_->cache.setSnapshot(nullptr);
    core_->cache.suspect();
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
