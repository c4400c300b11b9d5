#pragma once
// Wraps a pricing library and counts the calls a run makes into it, for the benchmark's table.
#include "data/pricing_library.h"

#include <memory>

namespace talvix::bench {

class CountingPricing : public PricingLibrary {
 public:
  explicit CountingPricing(PricingLibrary& inner) : inner_(inner) {}
  long calls = 0;

  MainFormDati& mainFormDati() override { return inner_.mainFormDati(); }
  DateTime DatNo(DateTime today) override { return inner_.DatNo(today); }
  DateTime DatLidz(DateTime today) override { return inner_.DatLidz(today); }
  bool VaiBloketsPeriods(DateTime first, DateTime last) override {
    ++calls;
    return inner_.VaiBloketsPeriods(first, last);
  }
  void PutInOperacija(const std::string& label, DateTime date, const std::string& text1, const std::string& text2,
                      int number1, const std::string& text3, const Query* query, int number2) override {
    ++calls;
    inner_.PutInOperacija(label, date, text1, text2, number1, text3, query, number2);
  }
  double GetPasizmaksa(int goods, int dept, DateTime date, double stock, double quantity, double dayQuantity,
                       std::vector<std::string>& list) override {
    ++calls;
    return inner_.GetPasizmaksa(goods, dept, date, stock, quantity, dayQuantity, list);
  }
  double GetPedIepCena(int goods, int dept, int mode, DateTime date) override {
    ++calls;
    return inner_.GetPedIepCena(goods, dept, mode, date);
  }
  double PrecValid(int goods, int dept, DateTime date) override {
    ++calls;
    return inner_.PrecValid(goods, dept, date);
  }
  double ApgrozDaudzums(int goods, int dept, DateTime date) override {
    ++calls;
    return inner_.ApgrozDaudzums(goods, dept, date);
  }
  DateTime LastCostedInflowDay(int goods, int dept, DateTime date) override {
    ++calls;
    return inner_.LastCostedInflowDay(goods, dept, date);
  }
  std::unique_ptr<TN_KlprecInfo> newKlprecInfo(int goods) override {
    ++calls;
    return inner_.newKlprecInfo(goods);
  }
  std::unique_ptr<TVidSvPasizm> newVidSvPasizm() override {
    return std::make_unique<CountingAverage>(inner_.newVidSvPasizm(), calls);
  }
  std::unique_ptr<TMylaiks> newMylaiks() override { return inner_.newMylaiks(); }
  void ExpectPeriod(DateTime first, DateTime last) override { inner_.ExpectPeriod(first, last); }
  void PassStarted(Transaction& snapshot, const DocumentChanges& changes) override {
    inner_.PassStarted(snapshot, changes);
  }
  void PassEnded() override { inner_.PassEnded(); }
  std::optional<DateTime> NextStockIn(int goods, int dept, DateTime date) override {
    return inner_.NextStockIn(goods, dept, date);
  }
  std::optional<ClientSaleAnswer> ClientSaleFromHistory(const ClientSaleQuestion& question) override {
    return inner_.ClientSaleFromHistory(question);
  }

 private:
  class CountingAverage : public TVidSvPasizm {
   public:
    CountingAverage(std::unique_ptr<TVidSvPasizm> inner, long& calls) : inner_(std::move(inner)), calls_(calls) {}
    double GetVidSvPasizmaksa(int goods, int dept, DateTime date, bool transfer, bool single) override {
      ++calls_;
      return inner_->GetVidSvPasizmaksa(goods, dept, date, transfer, single);
    }

   private:
    std::unique_ptr<TVidSvPasizm> inner_;
    long& calls_;
  };
  PricingLibrary& inner_;
};

}  // namespace talvix::bench
