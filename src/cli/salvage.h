// `convert --salvage`: data files cut off inside their frames (an aborted acquisition)
// convert their complete frames; the frames missing are one failure line per file.
#pragma once

#include <memory>

#include "control/getdata_ctrl.h"
#include "control/orx_control.h"
#include "convert/batch_run.h"

namespace qf {

/// A control over our ORX control, salvaging when `salvage` (and then telling `log`).
std::unique_ptr<CGetdatactrl1> MakeOrxControl(bool salvage, const std::shared_ptr<SalvageLog>& log);

/// For each data file of `report` that `log` took cut off: a failure naming the file and
/// the frames missing (told to `observer`), and the file no longer counts as converted.
void ReportCutOffFiles(BatchReport& report, const SalvageLog& log, BatchObserver& observer);

}  // namespace qf
