// The types every stage shares: one pulled frame and the selected output kind.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/result.h"

namespace qf {

/// The output kind, as the radio group orders it.
enum ExportKind : int {
    kNormalizedTiff = 0,
    kStandardizedTiff = 1,
    kGrayscaleBitmap = 2,
    kFalseColorBitmap = 3,
};

/// One frame as the writers receive it. Row-major, `width` samples a row; the first row
/// is the bottom row of every output. Kinds 0, 1 and 3 fill `samples`, kind 2 fills
/// `highBytes` (bits 8 to 15 of each intensity).
struct FrameImage {
    std::int16_t width = 0;
    std::int16_t height = 0;
    std::int32_t count = 0;
    std::unique_ptr<std::uint16_t[]> samples;
    std::unique_ptr<std::uint8_t[]> highBytes;
    /// Some sample is larger than the input bits allow (see PullFrame's `inputBits`).
    bool overRange = false;
};

/// The one test of a frame's shape before anything reads it: sizes not negative, `count`
/// = width x height, samples there (`hasBuffer`) when count > 0. A frame of no samples
/// is kNoSamples: there is nothing to write.
Status CheckFrameShape(std::int16_t width, std::int16_t height, std::int32_t count, bool hasBuffer);
inline Status CheckFrame(const FrameImage& frame, bool hasBuffer) {
    return CheckFrameShape(frame.width, frame.height, frame.count, hasBuffer);
}

}  // namespace qf
