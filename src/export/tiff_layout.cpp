#include "export/tiff_layout.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "export/page_encoder.h"

namespace qf {
namespace {

constexpr std::uint32_t kStripBytes = 256 * 1024;

std::uint16_t TiffCompression(Compression compression) {
    switch (compression) {
        case Compression::kNone: return COMPRESSION_NONE;
        case Compression::kDeflate: return COMPRESSION_ADOBE_DEFLATE;
        case Compression::kZstd: return COMPRESSION_ZSTD;
        case Compression::kLzw: return COMPRESSION_LZW;
    }
    return COMPRESSION_NONE;
}

// The horizontal predictor turns 16-bit neighbours into small differences (smaller files),
// but not every reader undoes it on 16-bit samples: asked for, never by default.
bool UsesPredictor(const ExportOptions& options) { return options.predictor && options.compression != Compression::kNone; }

// Resolution: pixels per centimetre when the pixel size is known, else "no unit" at 1:1,
// which claims nothing about the physical size (72 dpi would claim an inch scale).
bool SetResolution(TIFF* tif, const PixelSize& size) {
    if (!size.known()) {
        return TIFFSetField(tif, TIFFTAG_XRESOLUTION, 1.0) && TIFFSetField(tif, TIFFTAG_YRESOLUTION, 1.0) &&
               TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_NONE);
    }
    return TIFFSetField(tif, TIFFTAG_XRESOLUTION, PixelsPerCm(size.widthUm)) &&
           TIFFSetField(tif, TIFFTAG_YRESOLUTION, PixelsPerCm(size.heightUm)) &&
           TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
}

// A codec that libtiff encodes in this build gets the level too (its default otherwise).
bool SetLibtiffLevel(TIFF* tif, const ExportOptions& options) {
    switch (options.compression) {
        case Compression::kDeflate: return TIFFSetField(tif, TIFFTAG_ZIPQUALITY, LevelFor(options)) == 1;
        case Compression::kZstd: return TIFFSetField(tif, TIFFTAG_ZSTD_LEVEL, LevelFor(options)) == 1;
        default: return true;
    }
}

// Strips that the page encoder compressed, handed to libtiff as they are.
bool WriteEncodedStrips(TIFF* tif, std::uint32_t width, std::uint32_t height, const std::uint16_t* samples,
                        const ExportOptions& options) {
    EncodedPage page;
    if (const Status encoded = EncodePage(samples, width, height, options, page); !encoded.ok()) {
        // Said through the handle's messages, which become the output's failure.
        TIFFErrorExtR(tif, "page encoder", "%s", encoded.message().c_str());
        return false;
    }
    return WriteRawStrips(tif, page);
}

}  // namespace

bool WriteRawStrips(TIFF* tif, const EncodedPage& page) {
    std::size_t start = 0;
    for (std::size_t s = 0; s < page.stripEnds.size(); ++s) {
        const auto bytes = static_cast<tmsize_t>(page.stripEnds[s] - start);
        std::uint8_t* data = page.bytes.get() + start;
        if (TIFFWriteRawStrip(tif, static_cast<std::uint32_t>(s), data, bytes) != bytes) return false;
        start = page.stripEnds[s];
    }
    return true;
}

std::uint32_t StripRows(std::uint32_t width, std::uint32_t height) {
    const std::uint32_t rowBytes = std::max<std::uint32_t>(1, width) * 2;
    return std::clamp<std::uint32_t>(kStripBytes / rowBytes, 1, std::max<std::uint32_t>(1, height));
}

bool SetLayoutTags(TIFF* tif, std::uint32_t width, std::uint32_t height, const ExportOptions& options) {
    const bool portable = options.layout == Layout::kPortable;
    bool set = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width) && TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height) &&
               TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16) && TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1) &&
               TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, StripRows(width, height)) &&
               TIFFSetField(tif, TIFFTAG_ORIENTATION, portable ? ORIENTATION_TOPLEFT : ORIENTATION_BOTLEFT) &&
               TIFFSetField(tif, TIFFTAG_COMPRESSION, TiffCompression(options.compression)) &&
               TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK) &&
               TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    if (set && UsesPredictor(options)) set = TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (set && !EncodesItself(options.compression)) set = SetLibtiffLevel(tif, options);
    // The exact layout's tag set stays as it always was, FillOrder included.
    if (set && !portable) set = TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    if (set && (portable || (options.stack && options.pixelSize.known()))) set = SetResolution(tif, options.pixelSize);
    return set;
}

bool WriteLayoutStrips(TIFF* tif, std::uint32_t width, std::uint32_t height, const std::uint16_t* samples,
                       const ExportOptions& options) {
    if (EncodesItself(options.compression)) return WriteEncodedStrips(tif, width, height, samples, options);
    const bool topFirst = options.layout == Layout::kPortable;
    const std::uint32_t rows = StripRows(width, height);
    // Uncompressed rows in the frame's order are the strip as it stands: libtiff writes
    // them as they are, without changing them (native byte and bit order).
    const bool direct = !topFirst && options.compression == Compression::kNone;
    std::vector<std::uint16_t> strip(direct ? 0 : std::size_t{rows} * width);
    for (std::uint32_t first = 0, s = 0; first < height; first += rows, ++s) {
        const std::uint32_t n = std::min(rows, height - first);
        const auto bytes = static_cast<tmsize_t>(std::size_t{n} * width * 2);
        if (direct) {
            auto* rowsAsTheyAre = const_cast<std::uint16_t*>(samples + std::size_t{first} * width);
            if (TIFFWriteEncodedStrip(tif, s, rowsAsTheyAre, bytes) < 0) return false;
            continue;
        }
        for (std::uint32_t r = 0; r < n; ++r) {
            const std::uint32_t fileRow = first + r;
            const std::uint32_t frameRow = topFirst ? height - 1 - fileRow : fileRow;
            std::memcpy(strip.data() + std::size_t{r} * width, samples + std::size_t{frameRow} * width,
                        std::size_t{width} * 2);
        }
        if (TIFFWriteEncodedStrip(tif, s, strip.data(), bytes) < 0) return false;
    }
    return true;
}

}  // namespace qf
