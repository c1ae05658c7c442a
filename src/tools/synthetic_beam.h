// Synthetic ORX data: a Gaussian beam spot that circles the frame, with noise. The same
// settings and seed always give the same bytes. Feeds the samples, tests and benchmarks.
#pragma once

#include <cstdint>
#include <string>

#include "platform/output_file.h"

namespace qf {

struct BeamSettings {
    std::int16_t width = 64;
    std::int16_t height = 48;
    std::uint32_t frames = 4;
    bool halfResolution = false;
    int bits = 16;  ///< peak near 2^bits - 1, 1 to 16
    std::uint64_t seed = 1;
};

/// Writes the beam as an ORX file at `target`, one frame in memory at a time.
Status WriteSyntheticBeam(const OutputTarget& target, const BeamSettings& settings);

}  // namespace qf
