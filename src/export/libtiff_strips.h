// A page's strips encoded by libtiff's own codec away from the file being written: into a
// TIFF in memory, from which the strips are taken as libtiff laid them down. That lets a
// stack's workers encode pages of a codec the page encoder has no library of its own for
// (LZW, or deflate and zstd in a build without libdeflate or libzstd), with the bytes the
// writing thread would have made.
#pragma once

#include <cstdint>

#include "export/export_options.h"
#include "export/page_encoder.h"
#include "platform/result.h"

namespace qf {

/// Encodes a `width` x `height` page of 16-bit samples as `options` lays it out and
/// compresses it, through libtiff. `samples` is never changed; `page` is overwritten. Fails
/// for want of memory or with libtiff's words.
Status EncodePageThroughLibtiff(const std::uint16_t* samples, std::uint32_t width, std::uint32_t height,
                                const ExportOptions& options, EncodedPage& page);

}  // namespace qf
