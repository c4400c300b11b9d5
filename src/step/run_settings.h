#pragma once
// The window's controls as a run sees them, copied when the button is pressed: the period as the
// pickers hold it, the mode of each document kind and the four options.
#include "data/date_time.h"
#include "data/document_tables.h"

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
  int mode(DocumentKind kind) const;
  int& mode(DocumentKind kind);
  // The same with every mode as a run takes it (runMode).
  RunSettings withRunModes() const;
  bool anyAllAnew() const;
};

// Each kind's mode, in the rows' order.
inline constexpr int RunSettings::*kModeOfKind[] = {&RunSettings::transfers, &RunSettings::issues,
                                                    &RunSettings::returns, &RunSettings::balances};
static_assert(std::size(kModeOfKind) == kKindCount, "a mode for every kind");

inline int RunSettings::mode(DocumentKind kind) const { return this->*kModeOfKind[kindIndex(kind)]; }
inline int& RunSettings::mode(DocumentKind kind) { return this->*kModeOfKind[kindIndex(kind)]; }

inline RunSettings RunSettings::withRunModes() const {
  RunSettings run = *this;
  for (const DocumentKind kind : kAllKinds) run.mode(kind) = runMode(run.mode(kind));
  return run;
}

inline bool RunSettings::anyAllAnew() const {
  for (const DocumentKind kind : kAllKinds)
    if (mode(kind) == kAllAnew) return true;
  return false;
}

// The WHERE-clause addition that leaves services out.
inline constexpr const char* kServicesFilterText = " AND (N_KLPREC.PAKALPOJ IS NULL OR N_KLPREC.PAKALPOJ='F') ";

// "Datums No=<first> Dat.Līdz=<last>", the period text of every operation-log entry.
std::string periodLogText(const RunSettings& settings);

}  // namespace talvix
