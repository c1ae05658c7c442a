// `convert --salvage`: data files cut off inside their frames (an aborted acquisition)
// convert their complete frames; the frames missing are one failure line per file.
#pragma once

#include <memory>

#include "control/getdata_ctrl.h"
#include "control/orx_control.h"
#include "convert/batch_run.h"
#include "convert/cut_off_files.h"

namespace qf {

/// A control over our ORX control, salvaging when `salvage` (and then telling `log`).
std::unique_ptr<CGetdatactrl1> MakeOrxControl(bool salvage, const std::shared_ptr<SalvageLog>& log);

}  // namespace qf
