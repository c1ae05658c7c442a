#include "test/frames.h"

#include <cstring>

namespace qf::test {

FrameImage SampleFrame(std::int16_t w, std::int16_t h, const std::vector<std::uint16_t>& samples) {
    FrameImage f;
    f.width = w;
    f.height = h;
    f.count = w * h;
    f.samples = std::make_unique<std::uint16_t[]>(samples.size() + 1);
    if (!samples.empty()) std::memcpy(f.samples.get(), samples.data(), samples.size() * 2);
    return f;
}

FrameImage GrayFrame(std::int16_t w, std::int16_t h, const std::vector<std::uint8_t>& pixels) {
    FrameImage f;
    f.width = w;
    f.height = h;
    f.count = w * h;
    f.highBytes = std::make_unique<std::uint8_t[]>(pixels.size() + 1);
    if (!pixels.empty()) std::memcpy(f.highBytes.get(), pixels.data(), pixels.size());
    return f;
}

}  // namespace qf::test
