#include "export/export_options.h"

#include <tiffio.h>

#include <charconv>
#include <cmath>
#include <string_view>
#include <sstream>

namespace qf {
namespace {

struct Unit {
    const char* suffix;
    double toUm;
};

// "µm" is typed with the micro sign or, from a Greek keyboard, the small mu.
constexpr Unit kUnits[] = {{"nm", 0.001}, {"um", 1.0}, {"\xC2\xB5m", 1.0}, {"\xCE\xBCm", 1.0}, {"mm", 1000.0}};

// A pixel above a metre is a typing slip.
constexpr double kLargestUm = 1e6;

// One number with an optional unit: "6.5", "6.5um". `unit` is the factor to micrometres,
// 0 when none was written. The decimal point is a point whatever the C locale says (the
// dialog runs in the user's).
bool ParseLength(const std::string& text, double& value, double& unit) {
    if (text.empty()) return false;
    std::size_t end = text.size();
    unit = 0;
    for (const Unit& u : kUnits) {
        const std::string suffix = u.suffix;
        if (text.size() > suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0) {
            end = text.size() - suffix.size();
            unit = u.toUm;
            break;
        }
    }
    const std::string_view number(text.data(), end);
    if (number.find_first_not_of("0123456789.") != std::string_view::npos) return false;
    const auto [stop, error] = std::from_chars(number.data(), number.data() + number.size(), value,
                                               std::chars_format::fixed);
    return error == std::errc() && stop == number.data() + number.size() && std::isfinite(value) && value > 0;
}

bool Writable(double um) { return um <= kLargestUm && ResolutionFits(um); }

}  // namespace

double PixelsPerCm(double um) {
    constexpr double kUmPerCm = 10000.0;
    return kUmPerCm / um;
}

bool ResolutionFits(double um) {
    // libtiff keeps a resolution as a float and writes it as a RATIONAL of two 32-bit
    // numbers: a float above 2^32 - 1 comes out as 4294967295/0, which readers take as 0.
    constexpr double kBeyond = 4294967296.0;   // 2^32; also keeps the cast below defined
    constexpr float kLargest = 4294967040.0f;  // the largest float below 2^32
    const double perCm = PixelsPerCm(um);
    return perCm < kBeyond && static_cast<float>(perCm) <= kLargest;
}

const char* LayoutName(Layout layout) { return layout == Layout::kPortable ? "portable" : "exact"; }

const char* CompressionName(Compression compression) {
    switch (compression) {
        case Compression::kNone: return "none";
        case Compression::kDeflate: return "deflate";
        case Compression::kZstd: return "zstd";
        case Compression::kLzw: return "lzw";
    }
    return "none";
}

Result<Layout> ParseLayout(const std::string& text) {
    if (text == "exact") return Layout::kExact;
    if (text == "portable") return Layout::kPortable;
    return Fail(ErrorKind::kInvalid, "'" + text + "' is no layout; use exact or portable");
}

Result<Compression> ParseCompression(const std::string& text) {
    for (Compression c : {Compression::kNone, Compression::kDeflate, Compression::kZstd, Compression::kLzw}) {
        if (text == CompressionName(c)) return c;
    }
    return Fail(ErrorKind::kInvalid, "'" + text + "' is no compression; use none, deflate, zstd or lzw");
}

Result<PixelSize> ParsePixelSize(const std::string& text) {
    const Error bad = Fail(ErrorKind::kInvalid, "'" + text + "' is no pixel size; write e.g. 6.5um, 650nm or 6.5x7um "
                                                             "(a positive number, unit nm, um or mm)");
    const std::size_t x = text.find('x');
    double w = 0, h = 0, wUnit = 0, hUnit = 0;
    if (!ParseLength(text.substr(0, x), w, wUnit)) return bad;
    if (x == std::string::npos) {
        h = w;
        hUnit = wUnit;
    } else if (!ParseLength(text.substr(x + 1), h, hUnit)) {
        return bad;
    }
    if (wUnit == 0) wUnit = hUnit != 0 ? hUnit : 1.0;
    if (hUnit == 0) hUnit = wUnit;
    PixelSize size{w * wUnit, h * hUnit};
    if (!Writable(size.widthUm) || !Writable(size.heightUm)) {
        // The finest size rounded up, so that the size the message names is taken.
        return Fail(ErrorKind::kInvalid, "'" + text + "': a pixel size is from 0.0023284 nm (the finest a TIFF's "
                                                      "resolution holds) to 1000 mm");
    }
    return size;
}

std::string PixelSizeText(const PixelSize& size) {
    std::ostringstream text;
    text << size.widthUm;
    if (size.heightUm != size.widthUm) text << " x " << size.heightUm;
    text << " um";
    return text.str();
}

bool CompressionAvailable(Compression compression) {
    switch (compression) {
        case Compression::kNone: return true;
        case Compression::kDeflate: return TIFFIsCODECConfigured(COMPRESSION_ADOBE_DEFLATE) != 0;
        case Compression::kZstd: return TIFFIsCODECConfigured(COMPRESSION_ZSTD) != 0;
        case Compression::kLzw: return TIFFIsCODECConfigured(COMPRESSION_LZW) != 0;
    }
    return false;
}

std::string CompressionReaders(Compression compression, bool predictor) {
    // ImageJ undoes the predictor after LZW but not after deflate, on 16-bit samples.
    if (predictor && compression == Compression::kDeflate) return "GDAL, Pillow and tifffile; ImageJ 1.53t shows wrong values";
    switch (compression) {
        case Compression::kNone: return "every reader";
        case Compression::kDeflate: return "ImageJ, GDAL, Pillow and tifffile";
        case Compression::kLzw: return "ImageJ, GDAL, Pillow, and tifffile with imagecodecs";
        case Compression::kZstd: return "GDAL, Pillow, and tifffile with imagecodecs; not ImageJ";
    }
    return "";
}

std::vector<std::string> ReaderWarnings(const ExportOptions& options) {
    std::vector<std::string> warnings;
    if (options.compression == Compression::kZstd) {
        warnings.push_back("zstd-compressed TIFFs do not open in ImageJ 1.53t (GDAL, Pillow, and tifffile with "
                           "imagecodecs read them); --compress deflate or lzw opens in ImageJ too");
    }
    if (options.predictor && options.compression == Compression::kDeflate) {
        warnings.push_back("ImageJ 1.53t reads deflate TIFFs written with --predictor with wrong values (it does not "
                           "undo the predictor after deflate on 16-bit samples); GDAL, Pillow and tifffile read them "
                           "right, and lzw with the predictor reads right in ImageJ too");
    }
    if (options.stack && options.bigTiff) {
        warnings.push_back("BigTIFF stacks (--bigtiff) do not open in ImageJ 1.53t (GDAL, Pillow and tifffile read "
                           "them); without --bigtiff a stack is BigTIFF only above 4 GiB");
    }
    return warnings;
}

}  // namespace qf
