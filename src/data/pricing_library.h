#pragma once
// What the tool asks of the pricing library: prices, stock figures, the default period, the
// blocked-period check, the operation log and the run timer, plus the data module that holds the
// connection. The real library lives in src/pricing; tests may put a recording fake in its place.
// All dates are OLE dates (see date_time.h); goods and departments are the catalogue keys.
#include "data/client_sale.h"
#include "data/date_time.h"
#include "data/document_changes.h"
#include "data/main_form_dati.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace talvix {

class Query;

// The moving weighted-average calculator. One object serves every run while the tool lives.
class TVidSvPasizm {
 public:
  virtual ~TVidSvPasizm() = default;
  virtual double GetVidSvPasizmaksa(int goods, int dept, DateTime date, bool transfer, bool singleKind) = 0;
};

// A run's stopwatch.
class TMylaiks {
 public:
  virtual ~TMylaiks() = default;
  virtual void SetTime() = 0;
  // "Ilgums: HH:MM:SS" since SetTime.
  virtual std::string FillLineStundas() const = 0;
};

// The goods catalogue entry of one goods, read when created.
class TN_KlprecInfo {
 public:
  virtual ~TN_KlprecInfo() = default;
  virtual double FirstSalePrice() const = 0;
};

// An inflow a cost drew on or replayed: its kind ("receipt", "transfer in", "return", "goods
// balance"; outflows "issue", "transfer out"), day, line key, quantity and unit cost.
struct StockLayer {
  std::string kind;
  DateTime day = 0;
  int isn = 0;
  double quantity = 0.0;
  double cost = 0.0;
};

// What a FIFO cost took, in the order taken: the outflow priced together (the day's whole outflow
// when given, else the line's quantity), each layer with the units taken from it, and the units
// no layer covers, which the rule prices at the oldest layer's cost. cost is the price itself, the
// sum of each layer's cost x taken / outflow in this order.
struct FifoTrail {
  struct Taken {
    StockLayer layer;
    double units;
  };
  double stock = 0.0;
  double outflow = 0.0;
  std::vector<Taken> taken;
  double beyondLayers = 0.0;
  bool anyLayer = false;  // false: no costed inflow on or before the day, cost 0.0
  double cost = 0.0;
};

// One movement of a weighted-average replay and the stock and average after it.
struct AverageStep {
  StockLayer movement;
  double stockAfter = 0.0;
  double averageAfter = 0.0;
};

// The library's calls by concern; PricingLibrary is all of them, but a caller may take just one.

// Prices and stock figures of one goods in one department, and the goods' sale price.
class CostSource {
 public:
  virtual ~CostSource() = default;
  virtual double GetPasizmaksa(int goods, int dept, DateTime date, double stock, double quantity, double dayQuantity,
                               std::vector<std::string>& list) = 0;
  virtual double GetPedIepCena(int goods, int dept, int mode, DateTime date) = 0;
  virtual double PrecValid(int goods, int dept, DateTime date) = 0;
  virtual double ApgrozDaudzums(int goods, int dept, DateTime date) = 0;
  virtual std::unique_ptr<TN_KlprecInfo> newKlprecInfo(int goods) = 0;
  virtual std::unique_ptr<TVidSvPasizm> newVidSvPasizm() = 0;
  // The date-time of the first stock-in of goods into dept later than date: a receipt, a transfer
  // in whose CENA > 0, a return whose IEP_CENA > 0 and FROM_WHAT = 2; 0 when there is none. A library
  // that keeps no movements answers nullopt, and the caller asks the database itself.
  virtual std::optional<DateTime> NextStockIn(int /*goods*/, int /*dept*/, DateTime /*date*/) { return std::nullopt; }
  // A client-sale look-up answered from the history the library holds, with its own cost writes;
  // nullopt when it holds none for that goods and client, and the caller asks the database.
  virtual std::optional<ClientSaleAnswer> ClientSaleFromHistory(const ClientSaleQuestion& /*question*/) {
    return std::nullopt;
  }
};

// The default period and the blocked-period check.
class PeriodCalendar {
 public:
  virtual ~PeriodCalendar() = default;
  virtual DateTime DatNo(DateTime today) = 0;
  virtual DateTime DatLidz(DateTime today) = 0;
  virtual bool VaiBloketsPeriods(DateTime first, DateTime last) = 0;
};

// The suite's operation log; a step writes its entry as it starts.
class OperationJournal {
 public:
  virtual ~OperationJournal() = default;
  // One committed operation-log entry; query, when given, is recorded by its SQL text.
  virtual void PutInOperacija(const std::string& label, DateTime date, const std::string& text1,
                              const std::string& text2, int number1, const std::string& text3, const Query* query,
                              int number2) = 0;
};

// The run timer; a run takes a new one as it starts.
class RunClock {
 public:
  virtual ~RunClock() = default;
  virtual std::unique_ptr<TMylaiks> newMylaiks() = 0;
};

// What a run tells the library of its period and passes, so that it may keep what it read.
class PassLifecycle {
 public:
  virtual ~PassLifecycle() = default;
  // After newMylaiks: the run prices lines dated from first to last, so a library may read the
  // history before first once, as what it leaves, instead of line by line. Every answer stays
  // the same for any date; only the speed may change.
  virtual void ExpectPeriod(DateTime /*first*/, DateTime /*last*/) {}
  // A continuous pass, after ExpectPeriod: until PassEnded the library reads through snapshot, so
  // its answers agree with the pass's selects; what it read in the pass before may be kept where
  // changes shows nothing it depends on changed. Only the speed may change.
  virtual void PassStarted(Transaction& /*snapshot*/, const DocumentChanges& /*changes*/) {}
  // Also after a failed pass; the snapshot is about to end.
  virtual void PassEnded() {}
};

// Read only, for telling why a line got its cost.
class CostExplanation {
 public:
  virtual ~CostExplanation() = default;
  // Tells why a FIFO or average cost came to 0.0. The day of the newest inflow of goods into dept
  // with a quantity above 0 and a cost, on or before date's day; 0 when there is none.
  virtual DateTime LastCostedInflowDay(int goods, int dept, DateTime date) = 0;
  // The trail GetPasizmaksa's price follows with the same arguments, and the replay
  // GetVidSvPasizmaksa ends with, every movement in replay order. A library that cannot tell
  // throws std::logic_error.
  virtual FifoTrail FifoLayersTaken(int goods, int dept, DateTime date, double stock, double quantity,
                                    double dayQuantity);
  virtual std::vector<AverageStep> AverageReplay(int goods, int dept, DateTime date);
};

class PricingLibrary : public CostSource,
                       public PeriodCalendar,
                       public OperationJournal,
                       public RunClock,
                       public PassLifecycle,
                       public CostExplanation {
 public:
  // The data module the library created (MainFormDatiDll).
  virtual MainFormDati& mainFormDati() = 0;
};

}  // namespace talvix
