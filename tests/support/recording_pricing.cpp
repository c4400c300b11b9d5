#include "support/recording_pricing.h"

#include "pricing/period_rules.h"

#include <cstdio>
#include <cstdlib>

namespace talvix::test {

std::string num(double value) {
  char buffer[64];
  // Plain decimals where they read back exactly (100, 0.5, 12.1), else the shortest exact form.
  std::snprintf(buffer, sizeof buffer, "%.9f", value);
  std::string fixed = buffer;
  if (fixed.find('.') != std::string::npos) {
    fixed.erase(fixed.find_last_not_of('0') + 1);
    if (fixed.back() == '.') fixed.pop_back();
  }
  if (std::strtod(fixed.c_str(), nullptr) == value) return fixed;
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
    if (std::strtod(buffer, nullptr) == value) break;
  }
  return buffer;
}

namespace {

std::string flag(bool value) { return value ? "true" : "false"; }

class RecordingAverage : public TVidSvPasizm {
 public:
  explicit RecordingAverage(RecordingPricing& owner) : owner_(owner) {}
  double GetVidSvPasizmaksa(int goods, int dept, DateTime date, bool transfer, bool single) override {
    owner_.calls.push_back("GetVidSvPasizmaksa(" + std::to_string(goods) + "," + std::to_string(dept) + "," +
                           formatIsoDate(date) + "," + flag(transfer) + "," + flag(single) + ")");
    return owner_.average(goods, dept, date, transfer, single);
  }

 private:
  RecordingPricing& owner_;
};

class RecordingTimer : public TMylaiks {
 public:
  explicit RecordingTimer(RecordingPricing& owner) : owner_(owner) {}
  ~RecordingTimer() override { owner_.calls.push_back("~TMylaiks"); }
  void SetTime() override { owner_.calls.push_back("SetTime"); }
  std::string FillLineStundas() const override { return "Ilgums: 00:00:00"; }

 private:
  RecordingPricing& owner_;
};

class FixedInfo : public TN_KlprecInfo {
 public:
  explicit FixedInfo(double price) : price_(price) {}
  double FirstSalePrice() const override { return price_; }

 private:
  double price_;
};

}  // namespace

std::vector<std::string> RecordingPricing::callsOf(const std::string& prefix) const {
  std::vector<std::string> result;
  for (const auto& call : calls)
    if (call.rfind(prefix, 0) == 0) result.push_back(call);
  return result;
}

DateTime RecordingPricing::DatNo(DateTime today) { return pricing::PeriodRules::firstDay(today); }

DateTime RecordingPricing::DatLidz(DateTime today) { return pricing::PeriodRules::lastDay(today); }

bool RecordingPricing::VaiBloketsPeriods(DateTime first, DateTime last) {
  calls.push_back("VaiBloketsPeriods(" + formatIsoDate(first) + "," + formatIsoDate(last) + ")");
  return blocked;
}

void RecordingPricing::PutInOperacija(const std::string& label, DateTime date, const std::string& text1,
                                      const std::string& text2, int number1, const std::string& text3,
                                      const Query* query, int number2) {
  calls.push_back("PutInOperacija(" + label + "," + formatIsoDate(date) + "," + text1 + "," + text2 + "," +
                  std::to_string(number1) + "," + text3 + "," + (query ? "query" : "null") + "," +
                  std::to_string(number2) + ")");
}

double RecordingPricing::GetPasizmaksa(int goods, int dept, DateTime date, double stock, double quantity,
                                       double dayQuantity, std::vector<std::string>&) {
  calls.push_back("GetPasizmaksa(" + std::to_string(goods) + "," + std::to_string(dept) + "," + formatIsoDate(date) +
                  "," + num(stock) + "," + num(quantity) + "," + num(dayQuantity) + ")");
  return fifo(goods, dept, date, stock, quantity, dayQuantity);
}

double RecordingPricing::GetPedIepCena(int goods, int dept, int mode, DateTime date) {
  calls.push_back("GetPedIepCena(" + std::to_string(goods) + "," + std::to_string(dept) + "," + std::to_string(mode) +
                  "," + formatIsoDate(date) + ")");
  return lastPrice(goods, dept, mode, date);
}

double RecordingPricing::PrecValid(int goods, int dept, DateTime date) {
  calls.push_back("PrecValid(" + std::to_string(goods) + "," + std::to_string(dept) + "," + formatIsoDate(date) + ")");
  return precValid;
}

double RecordingPricing::ApgrozDaudzums(int goods, int dept, DateTime date) {
  calls.push_back("ApgrozDaudzums(" + std::to_string(goods) + "," + std::to_string(dept) + "," + formatIsoDate(date) +
                  ")");
  return apgrozDaudzums;
}

DateTime RecordingPricing::LastCostedInflowDay(int goods, int dept, DateTime date) {
  calls.push_back("LastCostedInflowDay(" + std::to_string(goods) + "," + std::to_string(dept) + "," +
                  formatIsoDate(date) + ")");
  return lastInflowDay(goods, dept, date);
}

std::unique_ptr<TN_KlprecInfo> RecordingPricing::newKlprecInfo(int goods) {
  calls.push_back("TN_KlprecInfo(" + std::to_string(goods) + ")");
  const auto it = firstSalePrices.find(goods);
  return std::make_unique<FixedInfo>(it == firstSalePrices.end() ? 0.0 : it->second);
}

std::unique_ptr<TVidSvPasizm> RecordingPricing::newVidSvPasizm() {
  calls.push_back("TVidSvPasizm");
  return std::make_unique<RecordingAverage>(*this);
}

std::unique_ptr<TMylaiks> RecordingPricing::newMylaiks() {
  calls.push_back("TMylaiks");
  return std::make_unique<RecordingTimer>(*this);
}

}  // namespace talvix::test
