#include "test/orx_bytes.h"

#include "control/orx_format.h"

namespace qf::test {

std::vector<std::uint8_t> OrxBytes(std::int16_t width, std::int16_t height, std::uint32_t frames,
                                   std::uint8_t fill) {
    OrxHeader h;
    h.width = width;
    h.height = height;
    h.frameCount = frames;
    auto head = SerializeOrxHeader(h);
    std::vector<std::uint8_t> bytes(head.begin(), head.end());
    bytes.resize(h.fileLength(), fill);
    return bytes;
}

std::vector<std::uint8_t> Patched(std::vector<std::uint8_t> bytes, std::size_t at,
                                  std::initializer_list<std::uint8_t> values) {
    for (std::uint8_t v : values) bytes.at(at++) = v;
    return bytes;
}

}  // namespace qf::test
