#pragma once
// A pricing library that records every call as a line of text and answers from what the test sets.
// It borrows a real data module, so the steps under test run their own SQL against a real database.
#include "data/pricing_library.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace talvix::test {

class RecordingPricing : public PricingLibrary {
 public:
  explicit RecordingPricing(MainFormDati& data) : data_(data) {}

  // Answers; each defaults to a constant the test may change.
  std::function<double(int goods, int dept, DateTime date, double stock, double qty, double dayQty)> fifo =
      [](int, int, DateTime, double, double, double) { return 11.0; };
  std::function<double(int goods, int dept, DateTime date, bool transfer, bool single)> average =
      [](int, int, DateTime, bool, bool) { return 22.0; };
  std::function<double(int goods, int dept, int mode, DateTime date)> lastPrice =
      [](int, int, int, DateTime) { return 33.0; };
  std::function<DateTime(int goods, int dept, DateTime date)> lastInflowDay = [](int, int, DateTime) { return 0.0; };
  std::map<int, double> firstSalePrices;  // goods -> CENA1
  double precValid = 100.0;
  double apgrozDaudzums = 7.0;
  bool blocked = false;

  // Every call, in order, e.g. "GetPasizmaksa(7,1,2026-03-05,100,5,5)".
  std::vector<std::string> calls;
  // Only the calls whose text starts with prefix.
  std::vector<std::string> callsOf(const std::string& prefix) const;

  MainFormDati& mainFormDati() override { return data_; }
  DateTime DatNo(DateTime today) override;
  DateTime DatLidz(DateTime today) override;
  bool VaiBloketsPeriods(DateTime first, DateTime last) override;
  void PutInOperacija(const std::string& label, DateTime date, const std::string& text1, const std::string& text2,
                      int number1, const std::string& text3, const Query* query, int number2) override;
  double GetPasizmaksa(int goods, int dept, DateTime date, double stock, double quantity, double dayQuantity,
                       std::vector<std::string>& list) override;
  double GetPedIepCena(int goods, int dept, int mode, DateTime date) override;
  double PrecValid(int goods, int dept, DateTime date) override;
  double ApgrozDaudzums(int goods, int dept, DateTime date) override;
  DateTime LastCostedInflowDay(int goods, int dept, DateTime date) override;
  std::unique_ptr<TN_KlprecInfo> newKlprecInfo(int goods) override;
  std::unique_ptr<TVidSvPasizm> newVidSvPasizm() override;
  std::unique_ptr<TMylaiks> newMylaiks() override;

 private:
  MainFormDati& data_;
};

// A number as the recorded calls show it: shortest form that reads back equal (5, 0.5, 12.1).
std::string num(double value);

}  // namespace talvix::test
