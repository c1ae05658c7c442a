// Choices that change how a frame is laid out in its file but never its sample values:
// the row order and header of the file, the TIFF compression, the physical pixel size.
// The defaults give today's files byte for byte.
#pragma once

#include <string>
#include <vector>

#include "platform/result.h"

namespace qf {

enum class Layout {
    kExact,     ///< as always: TIFF rows bottom first with Orientation 4, BMP reserved bytes FF
    kPortable,  ///< TIFF rows top first with Orientation 1, resolution tags, no FillOrder;
                ///< BMP reserved bytes 0
};

enum class Compression { kNone, kDeflate, kZstd, kLzw };

/// The size of one pixel on the sensor, in micrometres; 0 for unknown.
struct PixelSize {
    double widthUm = 0;
    double heightUm = 0;
    bool known() const { return widthUm > 0 && heightUm > 0; }
};

struct ExportOptions {
    Layout layout = Layout::kExact;
    Compression compression = Compression::kNone;
    PixelSize pixelSize;  ///< written by the portable layout and by stacks (the exact frame tags are fixed)
    bool stack = false;   ///< one multi-page TIFF per data file instead of a file per frame
    bool bigTiff = false; ///< a stack as BigTIFF even when it would fit a classic TIFF
    /// The horizontal predictor before compression: smaller files, which some readers
    /// (ImageJ among them) decode to wrong values. Off unless asked for.
    bool predictor = false;
    /// The deflate or zstd level (page_encoder.h's LevelsOf); 0 for the codec's usual one.
    int level = 0;
    /// A stack as OME-TIFF: OME-XML in the first page's description instead of ImageJ's,
    /// named NAME.ome.tif, rows top first.
    bool ome = false;
    /// The bits of the data that carry information (the input bits): OME's SignificantBits.
    int significantBits = 16;

    /// True when the files are today's, byte for byte.
    bool exact() const { return layout == Layout::kExact && compression == Compression::kNone; }
};

/// "exact" or "portable".
const char* LayoutName(Layout layout);
/// "none", "deflate", "zstd" or "lzw".
const char* CompressionName(Compression compression);

/// The layout named `text`, or why it is none.
Result<Layout> ParseLayout(const std::string& text);
/// The compression named `text`, or why it is none.
Result<Compression> ParseCompression(const std::string& text);
/// "6.5um", "6.5" (micrometres), "650nm", "0.0065mm", "6.5x7um" (width x height; a
/// number without a unit takes the other's; "µm" with either mu), or why the text is no
/// pixel size. The decimal point is "." in every locale. Sizes whose resolution a TIFF
/// cannot hold (ResolutionFits), and those above a metre, are refused with the range.
Result<PixelSize> ParsePixelSize(const std::string& text);
/// The resolution of a pixel `um` micrometres wide, in pixels per centimetre.
double PixelsPerCm(double um);
/// True when a TIFF's resolution field, as libtiff writes it, holds PixelsPerCm(um).
bool ResolutionFits(double um);
/// The pixel size as "6.5 um" or "6.5 x 7 um", as reports show it.
std::string PixelSizeText(const PixelSize& size);

/// True when the libtiff at hand can write `compression` (always for kNone).
bool CompressionAvailable(Compression compression);

/// The programs that read a TIFF written with `compression` and `predictor` to the right
/// values, as the reader check found them ("every reader" for none).
std::string CompressionReaders(Compression compression, bool predictor);

/// What a user should know before writing `options` with a TIFF kind: each a sentence
/// about a reader that will not open the files, or will misread them. Empty for most.
std::vector<std::string> ReaderWarnings(const ExportOptions& options);

}  // namespace qf
