// What a profile plot draws of the intensities through the brightest sample: each value as
// its axis counts it, and the axis's top. The axis fits the data: 0 to 2^N - 1 for N-bit
// intensities, else 0 to the largest value; the normalized kind plots what its output
// holds (each value x 65535 / the frame's peak) on 0 to 65535.
#pragma once

#include <cstdint>
#include <vector>

#include "export/frame_image.h"

namespace qf::present {

struct ProfilePlot {
    std::vector<std::uint32_t> plotted;
    std::uint32_t axisTop = 65535;  ///< at least 1
};

/// `values` as FramePixels carries them (the frame as pulled for `kind` with `inputBits`,
/// the grayscale kind's high byte x 256).
ProfilePlot PlotProfile(const std::vector<std::uint16_t>& values, ExportKind kind, int inputBits);

}  // namespace qf::present
