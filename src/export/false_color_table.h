// The constant 16384-entry false-colour ramp: black, blue, cyan, green, yellow, red,
// magenta, white. A 16-bit sample's colour is the entry at sample >> 2.
#pragma once

#include <array>
#include <cstdint>

namespace qf {

inline constexpr std::size_t kFalseColorEntries = 16384;

/// One entry, held in the table's stored byte order: green, red, blue.
struct FalseColorEntry {
    std::uint8_t green;
    std::uint8_t red;
    std::uint8_t blue;
};

/// The table, made once by the ramp rule and never changed.
const std::array<FalseColorEntry, kFalseColorEntries>& FalseColorTable();

/// The same table as bitmap pixels (blue, green, red), 3 bytes an entry.
const std::array<std::uint8_t, kFalseColorEntries * 3>& FalseColorPixels();

}  // namespace qf
