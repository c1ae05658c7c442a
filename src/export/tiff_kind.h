// Which TIFF kind wrote an existing output. Both TIFF kinds use the same names and the
// exact layout's bytes must stay as they are, so nothing in such a file names its kind:
// the samples tell it. The normalized kind stretches every frame so that its brightest
// sample is 65535; the standardized kind keeps the camera's intensities, whose brightest
// sample is below 65535 unless the camera saturated (then it reads as normalized).
//
// The file is whatever stands at an output's name: anyone's, of any size, and it may change
// or be replaced while it is read. So it is opened once, as itself, through the file layer,
// read with bounded reads from that descriptor (never mapped), and what it claims is
// believed only as far as a page of the planned size needs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "export/frame_image.h"

namespace qf {

struct TiffKindFound {
    /// kNormalizedTiff or kStandardizedTiff for a 16-bit grayscale TIFF (its first page);
    /// nullopt for anything else.
    std::optional<ExportKind> kind;
    /// Why the file could not be read to tell (it is no regular file, a read failed, it
    /// ended before what it claims); empty for a file read as far as needed.
    std::string unread;
};

/// Reads the file `name` in the folder `folderFd`. A first page whose samples take more
/// than `pageBytes` is no output of the planned size and has no kind here; nothing larger
/// than that (and the file's own size) is ever allocated.
TiffKindFound TiffKindOfOutput(int folderFd, const std::string& name, std::uint64_t pageBytes);

}  // namespace qf
