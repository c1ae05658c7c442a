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

/// The complete frames of the data file at `path` when it is cut off inside a frame (what
/// salvaging converts of it); 0 when it is not cut off, or cannot be read.
long SalvageableFrames(const std::string& path);

/// How many data files of `report` the control would not load that are cut off inside a
/// frame, and how many complete frames they hold in all: what salvaging would convert.
struct Salvageable {
    long files = 0;
    long frames = 0;
};
Salvageable SalvageableIn(const BatchReport& report);

}  // namespace qf
