// 8-bit grayscale bitmaps (kind 2): headers, a 256-entry gray palette, rows padded to
// four bytes, the frame's first row stored first (the bottom row of the picture).
#pragma once

#include <string>

#include "export/export_options.h"
#include "export/frame_image.h"
#include "platform/output_file.h"

namespace qf {

/// Writes `frame.highBytes` as an 8-bit bitmap at `target`. Frames of no samples and
/// malformed ones are refused unread.
Status WriteGrayscaleBitmap(const OutputTarget& target, const FrameImage& frame, const ExportOptions& options = {});

}  // namespace qf
