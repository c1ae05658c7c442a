// The OME-XML a stack written with --ome carries in its first page's ImageDescription: one
// Image of one channel and one slice, its frames a time series (2016-06 schema), which
// OME-aware readers take with its size, sample type and pixel size.
#pragma once

#include <cstdint>
#include <string>

#include "export/export_options.h"

namespace qf {

struct OmeImage {
    std::string name;      ///< the image's name (the output's, without its extension)
    std::string fileName;  ///< the file's own name, which its TiffData points to
    std::string uuid;      ///< "urn:uuid:..." of the file
    std::uint32_t width = 0, height = 0, frames = 0;
    int significantBits = 16;
    PixelSize pixelSize;  ///< written when known
};

/// The whole document, UTF-8, names escaped for XML.
std::string OmeXml(const OmeImage& image);

/// A "urn:uuid:..." made from `seed` alone (the same seed, the same UUID: a run with any
/// number of jobs, or again, writes the same bytes), in the form of a version 8 UUID.
std::string OmeUuid(const std::string& seed);

}  // namespace qf
