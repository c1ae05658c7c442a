#include "tools/synthetic_beam.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "tools/orx_writer.h"

namespace qf {
namespace {

// splitmix64: tiny, and the same sequence on every platform.
class Noise {
public:
    explicit Noise(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    /// Uniform in [-amplitude, amplitude].
    double Uniform(double amplitude) {
        return (static_cast<double>(Next() >> 11) / 9007199254740992.0 * 2.0 - 1.0) * amplitude;
    }

private:
    std::uint64_t state_;
};

void FillFrame(std::vector<std::uint16_t>& out, int w, int h, std::uint32_t frame,
               const BeamSettings& s, Noise& noise) {
    const double top = std::ldexp(1.0, std::clamp(s.bits, 1, 16)) - 1.0;
    const double angle = 2.0 * std::numbers::pi * frame / std::max<std::uint32_t>(s.frames, 1);
    const double cx = w / 2.0 + w / 4.0 * std::cos(angle);
    const double cy = h / 2.0 + h / 4.0 * std::sin(angle);
    const double sigma = std::max(1.0, std::min(w, h) / 10.0);
    const double noiseAmplitude = top * 0.02;
    const double background = top * 0.05;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double r2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
            double v = background + (top - background - noiseAmplitude) *
                                        std::exp(-r2 / (2 * sigma * sigma)) +
                       noise.Uniform(noiseAmplitude);
            out[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint16_t>(std::clamp(v, 0.0, top));
        }
    }
}

}  // namespace

Status WriteSyntheticBeam(const OutputTarget& target, const BeamSettings& s) {
    OrxHeader header;
    header.width = s.width;
    header.height = s.height;
    header.frameCount = s.frames;
    header.flags = s.halfResolution ? kOrxHalfResolution : 0;
    OrxWriter writer(target, header);
    const int w = std::max<int>(header.storedWidth(), 0);
    const int h = std::max<int>(header.storedHeight(), 0);
    std::vector<std::uint16_t> samples(static_cast<std::size_t>(w) * h);
    Noise noise(s.seed);
    for (std::uint32_t f = 0; f < s.frames; ++f) {
        FillFrame(samples, w, h, f, s, noise);
        if (!writer.WriteFrame(samples.data())) break;
    }
    return writer.Finish();
}

}  // namespace qf

namespace qf {

std::vector<std::uint16_t> SyntheticBeamFrame(const BeamSettings& s) {
    const int w = std::max<int>(s.width, 0);
    const int h = std::max<int>(s.height, 0);
    std::vector<std::uint16_t> samples(static_cast<std::size_t>(w) * h);
    Noise noise(s.seed);
    FillFrame(samples, w, h, 0, s, noise);
    return samples;
}

}  // namespace qf
