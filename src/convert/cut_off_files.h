// Data files a salvaging control took cut off inside their frames (an aborted acquisition):
// their complete frames converted, the frames missing become one failure line per file, the
// same for every front end.
#pragma once

#include "control/orx_control.h"
#include "convert/batch_run.h"

namespace qf {

/// For each data file of `report` that `log` took cut off: a failure naming the file and
/// the frames missing (told to `observer`), and the file no longer counts as converted.
void ReportCutOffFiles(BatchReport& report, const SalvageLog& log, BatchObserver& observer);

}  // namespace qf
