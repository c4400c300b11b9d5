#pragma once
// The window's controls as a run sees them, copied when the button is pressed: the period as the
// pickers hold it, the mode of each document kind and the four options.
#include "data/date_time.h"

#include <string>

namespace talvix {

// Item index of a kind's radio group.
enum Mode : int { kSkip = 0, kOnlyWithoutCost = 1, kAllAnew = 2 };

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
  bool anyAllAnew() const {
    return transfers == kAllAnew || issues == kAllAnew || returns == kAllAnew || balances == kAllAnew;
  }
};

// The WHERE-clause addition that leaves services out.
inline constexpr const char* kServicesFilterText = " AND (N_KLPREC.PAKALPOJ IS NULL OR N_KLPREC.PAKALPOJ='F') ";

// "Datums No=<first> Dat.Līdz=<last>", the period text of every operation-log entry.
std::string periodLogText(const RunSettings& settings);

}  // namespace talvix
