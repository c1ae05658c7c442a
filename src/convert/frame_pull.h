// PullFrame: the control's current frame into a FrameImage the system owns.
#pragma once

#include "control/getdata_ctrl.h"
#include "export/frame_image.h"

namespace qf {

/// Asks the control for the current frame (GetImageData, GetImageWidth, GetImageHeight,
/// IsFullResolution, in that order), halves the size when the control is not at full
/// resolution, and copies `count` samples: 16-bit for kinds 0, 1, 3, the high bytes for
/// kind 2. Throws StatusError carrying the HRESULT for a malformed transfer
/// (OutOfMemoryError for E_OUTOFMEMORY); the array is released on every path.
FrameImage PullFrame(CGetdatactrl1& control, ExportKind kind);

}  // namespace qf
