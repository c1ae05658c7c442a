#include "export/tiff_export.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "export/tiff_handle.h"
#include "export/tiff_layout.h"
#include "platform/output_file.h"
#include "platform/file_io.h"
#include "platform/memory.h"

namespace qf {
namespace {

// The largest sample: per lane of a fixed-size block first, which the compiler keeps in
// vector registers even at -O2, then across the lanes and the few samples left over.
std::uint16_t Largest(const std::uint16_t* __restrict in, std::size_t n) {
    constexpr std::size_t kBlock = 32;
    std::uint16_t lanes[kBlock] = {};
    std::size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        for (std::size_t j = 0; j < kBlock; ++j) {
            const std::uint16_t v = in[i + j];
            lanes[j] = v > lanes[j] ? v : lanes[j];
        }
    }
    std::uint16_t largest = *std::max_element(lanes, lanes + kBlock);
    for (; i < n; ++i) largest = std::max(largest, in[i]);
    return largest;
}

// sample / largest x 65535 in double precision, truncated. A large frame gets a table of
// one entry per value up to its largest (the same formula, so the same results); a frame
// with fewer samples than that is cheaper to compute directly.
void Normalize(const std::uint16_t* in, std::uint16_t* out, std::size_t n) {
    const std::uint16_t largest = Largest(in, n);
    if (largest == 0) {
        std::fill(out, out + n, std::uint16_t{0});
        return;
    }
    const double divisor = largest;
    auto scale = [divisor](std::uint16_t v) {
        return static_cast<std::uint16_t>(static_cast<double>(v) / divisor * 65535.0);
    };
    if (n <= largest) {
        for (std::size_t i = 0; i < n; ++i) out[i] = scale(in[i]);
        return;
    }
    std::vector<std::uint16_t> table(std::size_t{largest} + 1);
    for (std::size_t v = 0; v <= largest; ++v) table[v] = scale(static_cast<std::uint16_t>(v));
    for (std::size_t i = 0; i < n; ++i) out[i] = table[in[i]];
}

bool SetTags(TIFF* tif, std::int16_t width, std::int16_t height) {
    const auto w = static_cast<std::uint32_t>(static_cast<std::int32_t>(width));
    const auto h = static_cast<std::uint32_t>(static_cast<std::int32_t>(height));
    return TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w) && TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h) &&
           TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16) &&
           TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1) &&
           TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, h) &&
           TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_BOTLEFT) &&
           TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
           TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK) &&
           TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB) &&
           TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
}

// Today's file: one strip of the samples as they stand, the ten tags.
bool WriteExactStrip(TIFF* tif, std::int16_t width, std::int16_t height, std::int32_t count,
                     const std::uint16_t* scaled) {
    const tmsize_t bytes = static_cast<tmsize_t>(count) * 2;
    return SetTags(tif, width, height) &&
           TIFFWriteEncodedStrip(tif, 0, const_cast<std::uint16_t*>(scaled), bytes) == bytes;
}

bool WriteWithOptions(TIFF* tif, std::int16_t width, std::int16_t height, const std::uint16_t* scaled,
                      const ExportOptions& options) {
    const auto w = static_cast<std::uint32_t>(static_cast<std::int32_t>(width));
    const auto h = static_cast<std::uint32_t>(static_cast<std::int32_t>(height));
    return SetLayoutTags(tif, w, h, options) && WriteLayoutStrips(tif, w, h, scaled, options);
}

void WriteThroughLibtiff(OutputFile& out, std::int16_t width, std::int16_t height,
                         std::int32_t count, const std::uint16_t* scaled, const ExportOptions& options) {
    TiffHandle handle(out, false);
    if (!handle.open()) return;
    TIFF* tif = handle.tif();
    const bool strips = options.exact() ? WriteExactStrip(tif, width, height, count, scaled)
                                        : WriteWithOptions(tif, width, height, scaled, options);
    handle.Close(strips && TIFFFlush(tif) == 1);
}

}  // namespace

Result<std::unique_ptr<std::uint16_t[]>> NormalizedSamples(const FrameImage& frame) {
    const std::size_t n = frame.count > 0 ? static_cast<std::size_t>(frame.count) : 0;
    auto scaled = TryAllocateFrameBuffer<std::uint16_t>(frame.count);
    if (!scaled) {
        return Fail(ErrorKind::kOutOfMemory, "out of memory: no room to scale a " + std::to_string(frame.width) +
                                                 " x " + std::to_string(frame.height) + " frame");
    }
    if (n > 0 && frame.samples) Normalize(frame.samples.get(), scaled.get(), n);
    return scaled;
}

Status WriteTiff16(const OutputTarget& target, std::int16_t width, std::int16_t height,
                   std::int32_t count, const std::uint16_t* scaled, const ExportOptions& options) {
    if (Status shape = CheckFrameShape(width, height, count, scaled != nullptr); !shape.ok()) return shape;
    if (!CompressionAvailable(options.compression)) {
        return Fail(ErrorKind::kCannotCreate, std::string("cannot create: this build's libtiff cannot write ") +
                                                  CompressionName(options.compression) + " compression");
    }
    OutputFile out(target);
    if (out.ok()) WriteThroughLibtiff(out, width, height, count, scaled, options);
    return out.Commit();
}

Status WriteNormalizedTiff(const OutputTarget& target, const FrameImage& frame, const ExportOptions& options) {
    if (Status shape = CheckFrame(frame, frame.samples != nullptr); !shape.ok()) return shape;
    auto scaled = NormalizedSamples(frame);
    if (!scaled.ok()) return scaled.status();
    return WriteTiff16(target, frame.width, frame.height, frame.count, scaled.value().get(), options);
}

Status WriteStandardizedTiff(const OutputTarget& target, const FrameImage& frame, const ExportOptions& options) {
    // sample / 65535.0 x 65535.0 gives back every sample: the pulled samples are written
    // as they are, with no scaled copy.
    if (Status shape = CheckFrame(frame, frame.samples != nullptr); !shape.ok()) return shape;
    return WriteTiff16(target, frame.width, frame.height, frame.count, frame.samples.get(), options);
}

}  // namespace qf
