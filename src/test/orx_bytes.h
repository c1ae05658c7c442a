// Valid ORX bytes for tests to spoil one field at a time.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace qf::test {

/// A whole valid file: header for `width` x `height` x `frames`, every sample byte `fill`.
std::vector<std::uint8_t> OrxBytes(std::int16_t width, std::int16_t height, std::uint32_t frames,
                                   std::uint8_t fill);

/// `bytes` with the bytes from `at` on replaced by `values`.
std::vector<std::uint8_t> Patched(std::vector<std::uint8_t> bytes, std::size_t at,
                                  std::initializer_list<std::uint8_t> values);

}  // namespace qf::test
