#include "export/tiff_kind.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <vector>

namespace qf {
namespace {

int Quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

class ReadHandle {
public:
    explicit ReadHandle(const std::string& path) {
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, nullptr);
        TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, nullptr);
        tif_ = TIFFOpenExt(path.c_str(), "r", options);
        TIFFOpenOptionsFree(options);
    }
    ~ReadHandle() {
        if (tif_) TIFFClose(tif_);
    }
    ReadHandle(const ReadHandle&) = delete;
    ReadHandle& operator=(const ReadHandle&) = delete;
    TIFF* get() const { return tif_; }

private:
    TIFF* tif_ = nullptr;
};

}  // namespace

std::optional<ExportKind> TiffKindOfFile(const std::string& path) {
    ReadHandle handle(path);
    TIFF* tif = handle.get();
    if (!tif) return std::nullopt;
    std::uint16_t bits = 0, samplesPerPixel = 1, format = SAMPLEFORMAT_UINT;
    if (!TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits) || bits != 16) return std::nullopt;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samplesPerPixel);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    if (samplesPerPixel != 1 || format != SAMPLEFORMAT_UINT || TIFFIsTiled(tif)) return std::nullopt;
    const tmsize_t stripSize = TIFFStripSize(tif);
    if (stripSize <= 0) return std::nullopt;
    std::vector<std::uint16_t> strip(static_cast<std::size_t>(stripSize + 1) / 2);
    std::uint16_t peak = 0;
    for (std::uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
        const tmsize_t got = TIFFReadEncodedStrip(tif, s, strip.data(), stripSize);
        if (got < 0) return std::nullopt;
        const std::uint16_t* begin = strip.data();
        const std::uint16_t* end = begin + got / 2;
        if (got > 1) peak = std::max(peak, *std::max_element(begin, end));
        if (peak == 65535) break;
    }
    return peak == 65535 ? kNormalizedTiff : kStandardizedTiff;
}

}  // namespace qf
