#include "data/open_failure.h"

#include "data/lock_folder.h"

namespace talvix {
namespace {

struct Reason {
  const char* engineSays;  // a part of Firebird's text
  const char* sentence;
};
// The first match wins: the more particular texts come first.
constexpr Reason kReasons[] = {
    {"incompatible with current",
     "Datu bāzi jau atvērusi cita programma ar savu iegulto Firebird dzinēju (piemēram, cits logs vai "
     "autoiepcensad-run), un divi iegultie dzinēji vienu datu bāzes failu kopā neatver. Aizveriet otru programmu "
     "vai atveriet datu bāzi caur Firebird serveri (reģistrā host/port:ceļš)."},
    {kLockFolderHead, "Iegultais Firebird dzinējs nevar izmantot savu slēdzeņu mapi; kā to labot, teikts zemāk."},
    {"user name and password are not defined", "Firebird nepieņēma lietotāju vai paroli (ISC_USER, ISC_PASSWORD)."},
    {"Unable to complete network request", "Nevar sazināties ar Firebird serveri: vai tas darbojas un ir sasniedzams?"},
    {"No such file or directory", "Datu bāzes fails nav atrasts: pārbaudiet ceļu reģistrā."},
    {"Permission denied", "Nav atļaujas atvērt datu bāzes failu: pārbaudiet faila īpašnieku un tiesības."},
    {"is not a valid database", "Šis fails nav Firebird datu bāze."},
    {"File size is less than expected", "Šis fails nav Firebird datu bāze (tas ir par īsu)."},
    {"unsupported on-disk structure", "Datu bāzes faila versiju šis Firebird neatbalsta."},
    {"shutdown", "Datu bāze ir izslēgta (shutdown)."},
};
constexpr const char* kGeneral = "Firebird atbildēja ar kļūdu:";

}  // namespace

std::string latvianOpenReason(const std::string& engineText) {
  for (const Reason& each : kReasons)
    if (engineText.find(each.engineSays) != std::string::npos) return each.sentence;
  return kGeneral;
}

std::string openFailureText(const std::string& engineText) {
  if (engineText.empty()) return kCannotOpenDatabase;
  return std::string(kCannotOpenDatabase) + " " + latvianOpenReason(engineText) + "\n" + engineText;
}

}  // namespace talvix
