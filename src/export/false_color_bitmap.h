// 24-bit false-colour bitmaps (kind 3): each sample's colour from the false-colour
// table, rows of 3W + W mod 4 bytes, no palette.
#pragma once

#include <string>

#include "export/export_options.h"
#include "export/frame_image.h"
#include "platform/output_file.h"

namespace qf {

/// Writes `frame.samples` as a 24-bit bitmap at `target`. Frames of no samples and
/// malformed ones are refused unread.
Status WriteFalseColorBitmap(const OutputTarget& target, const FrameImage& frame, const ExportOptions& options = {});

}  // namespace qf
