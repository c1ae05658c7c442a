// How a 16-bit frame is laid out in a TIFF beyond today's exact files: the tag set of
// the portable layout (top row first, resolution tags, no FillOrder), compression with
// its predictor, and the rows cut into strips in the layout's order. Works on a handle
// that the caller opened; only the export's TIFF writers use it.
#pragma once

#include <tiffio.h>

#include <cstdint>

#include "export/export_options.h"

namespace qf {

struct EncodedPage;

/// Rows a strip holds for a frame `width` samples wide: about 256 KiB of samples.
std::uint32_t StripRows(std::uint32_t width, std::uint32_t height);

/// Sets every tag of one page of `width` x `height` 16-bit samples laid out as `options`
/// says. The resolution tags go into portable pages, and into a stack's pages of either
/// layout when the pixel size is known. False when libtiff refuses one.
bool SetLayoutTags(TIFF* tif, std::uint32_t width, std::uint32_t height, const ExportOptions& options);

/// Writes the samples (row-major, the frame's first row first in memory) as strips: in
/// that order for the exact layout, last row first for the portable one. Copies one
/// strip at a time, so `samples` is never changed. Deflate and zstd go through the page
/// encoder when it has their library (page_encoder.h). False on the first failed strip.
bool WriteLayoutStrips(TIFF* tif, std::uint32_t width, std::uint32_t height, const std::uint16_t* samples,
                       const ExportOptions& options);

/// Writes a page that EncodePage encoded, strip by strip as it stands, into the current
/// directory. False on the first failed strip.
bool WriteRawStrips(TIFF* tif, const EncodedPage& page);

}  // namespace qf
