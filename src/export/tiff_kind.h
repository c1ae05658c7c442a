// Which TIFF kind wrote an existing output. Both TIFF kinds use the same names and the
// exact layout's bytes must stay as they are, so nothing in such a file names its kind:
// the samples tell it. The normalized kind stretches every frame so that its brightest
// sample is 65535; the standardized kind keeps the camera's intensities, whose brightest
// sample is below 65535 unless the camera saturated (then it reads as normalized).
#pragma once

#include <optional>
#include <string>

#include "export/frame_image.h"

namespace qf {

/// kNormalizedTiff or kStandardizedTiff for a 16-bit grayscale TIFF at `path` (its first
/// page), nullopt for anything else or a file that cannot be read. Reads the whole page.
std::optional<ExportKind> TiffKindOfFile(const std::string& path);

}  // namespace qf
