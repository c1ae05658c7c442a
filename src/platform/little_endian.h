// Little-endian fields of on-disk structures, one byte at a time, whatever the host order.
#pragma once

#include <cstdint>

namespace qf {

inline std::uint16_t GetLe16(const std::uint8_t* b) {
    return static_cast<std::uint16_t>(b[0] | b[1] << 8);
}
inline std::uint32_t GetLe32(const std::uint8_t* b) {
    return std::uint32_t{GetLe16(b)} | std::uint32_t{GetLe16(b + 2)} << 16;
}
inline void PutLe16(std::uint8_t* b, std::uint16_t v) {
    b[0] = static_cast<std::uint8_t>(v);
    b[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutLe32(std::uint8_t* b, std::uint32_t v) {
    PutLe16(b, static_cast<std::uint16_t>(v));
    PutLe16(b + 2, static_cast<std::uint16_t>(v >> 16));
}

}  // namespace qf
