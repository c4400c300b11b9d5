#pragma once
// What the tool asks of the pricing library: prices, stock figures, the default period, the
// blocked-period check, the operation log and the run timer, plus the data module that holds the
// connection. The real library lives in src/pricing; tests may put a recording fake in its place.
// All dates are OLE dates (see date_time.h); goods and departments are the catalogue keys.
#include "data/date_time.h"
#include "data/main_form_dati.h"

#include <memory>
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

class PricingLibrary {
 public:
  virtual ~PricingLibrary() = default;

  // The data module the library created (MainFormDatiDll).
  virtual MainFormDati& mainFormDati() = 0;

  virtual DateTime DatNo(DateTime today) = 0;
  virtual DateTime DatLidz(DateTime today) = 0;
  virtual bool VaiBloketsPeriods(DateTime first, DateTime last) = 0;
  // One committed operation-log entry; query, when given, is recorded by its SQL text.
  virtual void PutInOperacija(const std::string& label, DateTime date, const std::string& text1,
                              const std::string& text2, int number1, const std::string& text3, const Query* query,
                              int number2) = 0;

  virtual double GetPasizmaksa(int goods, int dept, DateTime date, double stock, double quantity,
                               double dayQuantity, std::vector<std::string>& list) = 0;
  virtual double GetPedIepCena(int goods, int dept, int mode, DateTime date) = 0;
  virtual double PrecValid(int goods, int dept, DateTime date) = 0;
  virtual double ApgrozDaudzums(int goods, int dept, DateTime date) = 0;
  // Reads only; tells why a FIFO or average cost came to 0.0. The day of the newest inflow of goods
  // into dept with a quantity above 0 and a cost, on or before date's day; 0 when there is none.
  virtual DateTime LastCostedInflowDay(int goods, int dept, DateTime date) = 0;

  virtual std::unique_ptr<TN_KlprecInfo> newKlprecInfo(int goods) = 0;
  virtual std::unique_ptr<TVidSvPasizm> newVidSvPasizm() = 0;
  virtual std::unique_ptr<TMylaiks> newMylaiks() = 0;
};

}  // namespace talvix
