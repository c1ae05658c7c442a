// What a dialog shows of one written frame, without a toolkit: the picture as its kind shows
// it (8-bit gray or RGB, top row first) and the two intensity profiles through its brightest
// sample. Every front end turns it into its own image type.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "export/frame_image.h"

namespace qf {

/// The longest side of a picture: a larger frame is shown by every n-th sample (n the
/// least that fits), which is more than a view's pixels and keeps big frames cheap.
inline constexpr int kMaxPictureSide = 512;

struct FramePixels {
    /// The picture's size: the frame's, or less for a frame sampled down (kMaxPictureSide).
    int width = 0;
    int height = 0;
    /// The frame's own size.
    int frameWidth = 0;
    int frameHeight = 0;
    /// 3 (red, green, blue) for the colour kind, 1 (gray) for the others.
    int channels = 1;
    /// width x channels bytes a row, rows top first, as the outputs show the frame (the
    /// normalized kind stretched as its TIFF is); no padding.
    std::vector<std::uint8_t> pixels;
    ExportKind kind = kNormalizedTiff;
    /// The brightest sample, in the frame's coordinates with the top row first (the first
    /// one in reading order), and its intensity.
    int brightestX = 0;
    int brightestY = 0;
    std::uint16_t peak = 0;
    /// Intensities (0 to 65535; the grayscale kind's high byte x 256) of the frame's row
    /// through the brightest sample, left to right, and of its column, top to bottom.
    std::vector<std::uint16_t> row;
    std::vector<std::uint16_t> column;
    /// Every intensity of the frame, frameWidth a row, top row first, on the same scale as
    /// `row` (what a readout of the pixel under a pointer tells; see PixelReadout).
    std::vector<std::uint16_t> values;

    bool empty() const { return width == 0 || height == 0; }
    /// The intensity at (x, y) of the frame, top row first; none outside it.
    std::optional<std::uint16_t> ValueAt(int x, int y) const;
};

/// The picture of `frame` as pulled for `kind`; empty for a frame of no samples. The
/// standardized kind's samples are `inputBits`-bit intensities: the picture shows their top
/// as white, as the bitmap kinds (pulled already scaled) do. The values stay unscaled.
FramePixels MakeFramePixels(const FrameImage& frame, ExportKind kind, int inputBits = 16);

/// Copies `from` into `to`, reusing `to`'s buffers when the size allows (a frame kept
/// aside for the run's last picture).
void CopyFrame(const FrameImage& from, FrameImage& to);

}  // namespace qf
