// Frames for writer tests, built from plain vectors.
#pragma once

#include <cstdint>
#include <vector>

#include "export/frame_image.h"

namespace qf::test {

/// A w x h frame of 16-bit `samples` (kinds 0, 1, 3).
FrameImage SampleFrame(std::int16_t w, std::int16_t h, const std::vector<std::uint16_t>& samples);
/// A w x h frame of 8-bit `pixels` (kind 2).
FrameImage GrayFrame(std::int16_t w, std::int16_t h, const std::vector<std::uint8_t>& pixels);

}  // namespace qf::test
