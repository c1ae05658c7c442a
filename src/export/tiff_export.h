// The two TIFF kinds: intensity scaling (normalized or standardized) and the 16-bit
// grayscale writer, one uncompressed strip, through libtiff.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "export/export_options.h"
#include "export/frame_image.h"
#include "platform/output_file.h"

namespace qf {

/// The normalized kind's `count` values: the frame's largest intensity stretched to 65535
/// (sample / max x 65535, truncated; all zeros stay zero). The standardized kind keeps the
/// intensities as they are and needs no copy.
Result<std::unique_ptr<std::uint16_t[]>> NormalizedSamples(const FrameImage& frame);

/// Writes a width x height 16-bit TIFF at `target`, host byte order. The exact layout
/// uncompressed: one strip, Orientation 4 (first row at the bottom), today's tags. Other
/// options as ExportOptions says (tiff_layout.h). A frame of no samples is refused
/// (kNoSamples), a malformed one too (kInvalid); an output that cannot be created is
/// kCannotCreate; `scaled` is never changed.
Status WriteTiff16(const OutputTarget& target, std::int16_t width, std::int16_t height,
                   std::int32_t count, const std::uint16_t* scaled, const ExportOptions& options = {});

/// The two TIFF kinds as frame writers: scaling, then WriteTiff16.
Status WriteNormalizedTiff(const OutputTarget& target, const FrameImage& frame, const ExportOptions& options = {});
Status WriteStandardizedTiff(const OutputTarget& target, const FrameImage& frame, const ExportOptions& options = {});

}  // namespace qf
