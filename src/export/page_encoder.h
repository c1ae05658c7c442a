// One TIFF page's strips encoded away from libtiff: the rows put in the layout's order, the
// horizontal predictor applied and each strip compressed by the codec's own library
// (libdeflate for deflate as a zlib stream, libzstd for zstd), ready for TIFFWriteRawStrip.
// EncodePage touches nothing but its arguments, so any thread may encode any page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "export/export_options.h"
#include "platform/result.h"

namespace qf {

/// The strips of one page, back to back, and where each ends in `bytes`.
struct EncodedPage {
    std::unique_ptr<std::uint8_t[]> bytes;  ///< not zeroed first: the codec fills what counts
    std::size_t room = 0;                   ///< the bytes `bytes` holds
    std::vector<std::size_t> stripEnds;
};

/// True when EncodePage does `compression`'s work (this build has the codec's library);
/// false for none and lzw, and for a codec left to libtiff, which the writer then uses.
bool EncodesItself(Compression compression);

/// True when a stack's pages of `compression` are worth encoding in workers: those of every
/// codec (EncodePage hands a codec it has no library for to libtiff); uncompressed pages
/// are only copied.
bool EncodedInWorkers(Compression compression);

/// The compression levels `--level` takes for `compression`, and the one used without it.
struct LevelRange {
    int lowest = 0, highest = 0, usual = 0;
    bool any() const { return highest > 0; }  ///< false: the codec has no levels
};
LevelRange LevelsOf(Compression compression);

/// `options.level`, or the codec's usual level when that is 0.
int LevelFor(const ExportOptions& options);

/// Who encodes `compression` in this build, for reports: "libdeflate 1.14", "libzstd
/// 1.5.4", "libtiff" (its own codec), or "" for none.
std::string EncoderName(Compression compression);

/// The most bytes one strip of `bytes` bytes of samples takes once compressed as
/// `compression`, whatever the samples are (the codec's worst case, with or without the
/// predictor).
std::uint64_t StripBytesAtMost(Compression compression, std::uint64_t bytes);

/// Encodes a `width` x `height` page of 16-bit samples (row-major, the frame's first row
/// first) as `options` lays it out: strips of StripRows rows, the rows in the frame's order
/// for the exact layout and last row first for the portable one, each predicted when `options.predictor` says so and
/// compressed, by the codec's own library where EncodesItself() holds and by libtiff's codec
/// otherwise (the bytes libtiff writes either way). `samples` is never changed;
/// `page` is overwritten (its storage reused). Fails only for want of memory or a codec's
/// refusal, in words.
Status EncodePage(const std::uint16_t* samples, std::uint32_t width, std::uint32_t height, const ExportOptions& options,
                  EncodedPage& page);

}  // namespace qf
