// PullFrame: the control's current frame into a FrameImage the system owns; WalkFrames: the
// frame numbers the control steps through.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "control/getdata_ctrl.h"
#include "export/frame_image.h"

namespace qf {

/// Asks the control for the current frame (GetImageData, GetImageWidth, GetImageHeight,
/// IsFullResolution, in that order), halves the size when the control is not at full
/// resolution, and copies `count` samples: 16-bit for kinds 0, 1, 3, the high bytes for
/// kind 2. Throws StatusError carrying the HRESULT for a malformed transfer
/// (OutOfMemoryError for E_OUTOFMEMORY); the array is released on every path.
///
/// `inputBits` (8 to 16) is how many bits the camera's intensities use: for the bitmap
/// kinds (2, 3) each sample is scaled to the 16-bit range first (`v << (16 - inputBits)`,
/// 65535 for a sample above 2^inputBits - 1); the TIFF kinds keep the intensities as they
/// are. For every kind `overRange` tells whether some sample is above 2^inputBits - 1.
FrameImage PullFrame(CGetdatactrl1& control, ExportKind kind, int inputBits = 16);

/// Walks the frame numbers of the loaded file the way a conversion steps them: until the
/// number comes back to the first one, or repeats without coming back.
struct FrameWalk {
    std::vector<std::int16_t> numbers;
    bool repeats = false;
    std::int16_t repeated = 0;  ///< the number that came again
};
FrameWalk WalkFrames(CGetdatactrl1& control, const std::function<void()>& settle);

}  // namespace qf
