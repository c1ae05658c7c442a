#include "export/tiff_export.h"

#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "platform/output_file.h"
#include "platform/directory.h"
#include "platform/memory.h"

namespace qf {
namespace {

// sample / largest x 65535 in double precision, truncated. A large frame gets a table of
// one entry per value up to its largest (the same formula, so the same results); a frame
// with fewer samples than that is cheaper to compute directly.
void Normalize(const std::uint16_t* in, std::uint16_t* out, std::size_t n) {
    const std::uint16_t largest = n ? *std::max_element(in, in + n) : 0;
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

// Collects libtiff's messages for one handle instead of printing them.
struct TiffMessages {
    std::string first;
    int systemError = 0;  ///< errno when the first error was reported
    bool failed = false;
};

int CollectError(TIFF*, void* user, const char* module, const char* fmt, va_list args) {
    auto* messages = static_cast<TiffMessages*>(user);
    const int err = errno;
    if (!messages->failed) {
        messages->systemError = err;
        char text[512];
        std::vsnprintf(text, sizeof text, fmt, args);
        messages->first = std::string(module ? module : "libtiff") + ": " + text;
    }
    messages->failed = true;
    return 1;
}

int IgnoreWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

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

// libtiff owns and closes the descriptor it is given, so it gets a duplicate; the
// original stays with `out`, which checks the final close and renames.
void WriteThroughLibtiff(OutputFile& out, std::int16_t width, std::int16_t height,
                         std::int32_t count, const std::uint16_t* scaled) {
    TiffMessages messages;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, CollectError, &messages);
    TIFFOpenOptionsSetWarningHandlerExtR(options, IgnoreWarning, nullptr);
    int fd = ::dup(out.fd());
    TIFF* tif = fd >= 0 ? TIFFFdOpenExt(fd, out.path().c_str(), "w", options) : nullptr;
    TIFFOpenOptionsFree(options);
    if (!tif) {
        if (fd >= 0) ::close(fd);
        out.Fail(ErrorKind::kCannotCreate, "cannot create: " + (messages.failed ? messages.first
                                                                   : ErrnoText(errno)));
        return;
    }
    const tmsize_t bytes = static_cast<tmsize_t>(count) * 2;
    bool written = SetTags(tif, width, height) &&
                   TIFFWriteEncodedStrip(tif, 0, const_cast<std::uint16_t*>(scaled), bytes) ==
                       bytes &&
                   TIFFFlush(tif) == 1;
    TIFFClose(tif);
    if (!written || messages.failed) {
        std::string cause = messages.failed ? messages.first : std::string("libtiff");
        if (messages.systemError != 0) cause += " (" + ErrnoText(messages.systemError) + ")";
        out.Fail(ErrorKind::kWriteFailed, "write failed: " + cause);
    }
}

}  // namespace

Result<std::unique_ptr<std::uint16_t[]>> ScaleSamples(const FrameImage& frame, ExportKind kind) {
    const std::size_t n = frame.count > 0 ? static_cast<std::size_t>(frame.count) : 0;
    auto scaled = TryAllocateFrameBuffer<std::uint16_t>(frame.count);
    if (!scaled) {
        return Fail(ErrorKind::kOutOfMemory, "out of memory: no room to scale a " + std::to_string(frame.width) +
                                                 " x " + std::to_string(frame.height) + " frame");
    }
    if (n == 0 || !frame.samples) return scaled;
    if (kind == kNormalizedTiff) {
        Normalize(frame.samples.get(), scaled.get(), n);
    } else {
        // sample / 65535.0 x 65535.0 gives back every sample exactly.
        std::memcpy(scaled.get(), frame.samples.get(), n * sizeof(std::uint16_t));
    }
    return scaled;
}

Status WriteTiff16(const OutputTarget& target, std::int16_t width, std::int16_t height,
                   std::int32_t count, const std::uint16_t* scaled) {
    if (Status shape = CheckFrameShape(width, height, count, scaled != nullptr); !shape.ok()) return shape;
    OutputFile out(target);
    if (out.ok()) WriteThroughLibtiff(out, width, height, count, scaled);
    return out.Commit();
}

namespace {

Status WriteScaledTiff(const OutputTarget& target, const FrameImage& frame, ExportKind kind) {
    if (Status shape = CheckFrame(frame, frame.samples != nullptr); !shape.ok()) return shape;
    auto scaled = ScaleSamples(frame, kind);
    if (!scaled.ok()) return scaled.status();
    return WriteTiff16(target, frame.width, frame.height, frame.count, scaled.value().get());
}

}  // namespace

Status WriteNormalizedTiff(const OutputTarget& target, const FrameImage& frame) {
    return WriteScaledTiff(target, frame, kNormalizedTiff);
}

Status WriteStandardizedTiff(const OutputTarget& target, const FrameImage& frame) {
    // sample / 65535.0 x 65535.0 gives back every sample: the pulled samples are written
    // as they are, with no scaled copy.
    if (Status shape = CheckFrame(frame, frame.samples != nullptr); !shape.ok()) return shape;
    return WriteTiff16(target, frame.width, frame.height, frame.count, frame.samples.get());
}

}  // namespace qf
