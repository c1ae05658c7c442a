// Synthetic ORX data: a Gaussian beam spot that circles the frame, with noise. The same
// settings and seed always give the same bytes. Feeds the samples, tests and benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

/// The first frame of that beam (width x height samples, full resolution), for
/// benchmarks that need a real-looking frame without a file.
std::vector<std::uint16_t> SyntheticBeamFrame(const BeamSettings& settings);

}  // namespace qf
