#pragma once
// The one operation-log entry every assignment step writes before its select: the step's
// label, today, its key text with the mode digit ("PARV=1") and the period. None in a preview.
#include "step/run_context.h"

#include <string>

namespace talvix {

// PutInOperacija(label, today, "", keyText + mode, 0, "Datums No=… Dat.Līdz=…", no query, 0).
void writeOperationEntry(RunContext& ctx, const std::string& label, const std::string& keyText, int mode);

}  // namespace talvix
