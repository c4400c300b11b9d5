#pragma once
// The window's controls as a run sees them, copied when the button is pressed: the period as the
// pickers hold it, the mode of each document kind and the four options.
#include "data/date_time.h"

#include <string>

namespace talvix {

// Item index of a kind's radio group.
enum Mode : int { kSkip = 0, kOnlyWithoutCost = 1, kAllAnew = 2 };

// The mode a run gives an item index. The tool never stores one outside 0..2, but the registry may
// hold one: such a kind is processed (it is not 0) and not assigned anew (only 2 is).
constexpr int runMode(int itemIndex) {
  return itemIndex == kSkip || itemIndex == kAllAnew ? itemIndex : kOnlyWithoutCost;
}

struct RunSettings {
  DateTime dateFrom = 0;  // DatumsNo, time of day included
  DateTime dateTo = 0;    // DatumsLidz
  int transfers = kSkip;  // shParveitosana
  int issues = kSkip;     // shIzrakstisana
  int returns = kSkip;    // shAtgriezsana
  int balances = kSkip;   // shAtlikumi
  bool lastPurchasePrice = false;  // chkPedejaCena
  bool firstSalePrice = false;     // chk1PardCena
  bool skipServices = false;       // chkPakalpojumusNe
  bool serialLookup = false;       // chkIMEI

  // The period as every query binds it: whole dates.
  DateTime firstDay() const { return wholeDate(dateFrom); }
  DateTime lastDay() const { return wholeDate(dateTo); }
  // The same with every mode as a run takes it (runMode).
  RunSettings withRunModes() const {
    RunSettings run = *this;
    for (int* mode : {&run.transfers, &run.issues, &run.returns, &run.balances}) *mode = runMode(*mode);
    return run;
  }
  bool anyAllAnew() const {
    return transfers == kAllAnew || issues == kAllAnew || returns == kAllAnew || balances == kAllAnew;
  }
};

// The WHERE-clause addition that leaves services out.
inline constexpr const char* kServicesFilterText = " AND (N_KLPREC.PAKALPOJ IS NULL OR N_KLPREC.PAKALPOJ='F') ";

// "Datums No=<first> Dat.Līdz=<last>", the period text of every operation-log entry.
std::string periodLogText(const RunSettings& settings);

}  // namespace talvix
