// ORX, format version 1: a 32-byte little-endian header, then the frames, each stored
// width x stored height 16-bit samples, row after row. docs/orx-format.md describes it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/result.h"

namespace qf {

inline constexpr std::array<std::uint8_t, 8> kOrxSignature = {0x89, 'O', 'R', 'X',
                                                              0x0D, 0x0A, 0x1A, 0x0A};
inline constexpr std::uint16_t kOrxVersion = 1;
inline constexpr std::size_t kOrxHeaderSize = 32;
inline constexpr std::uint16_t kOrxHalfResolution = 0x0001;
inline constexpr std::uint32_t kOrxMaxFrames = 32768;

struct OrxHeader {
    std::uint16_t version = kOrxVersion;
    std::uint16_t headerLength = kOrxHeaderSize;
    std::int16_t width = 0;
    std::int16_t height = 0;
    std::uint32_t frameCount = 0;
    std::uint16_t flags = 0;

    bool halfResolution() const { return flags & kOrxHalfResolution; }
    std::int16_t storedWidth() const;
    std::int16_t storedHeight() const;
    /// Samples in one stored frame.
    std::uint64_t storedSamples() const;
    /// The length a valid file with this header has.
    std::uint64_t fileLength() const;
};

/// The 32 header bytes for `header` (signature, fields, zero reserved bytes).
std::array<std::uint8_t, kOrxHeaderSize> SerializeOrxHeader(const OrxHeader& header);

/// Reads and checks the first `size` bytes of a file of `fileLength` bytes: the header,
/// or the reason a user should see when they are not a valid ORX file.
Result<OrxHeader> ParseOrxHeader(const std::uint8_t* bytes, std::size_t size, std::uint64_t fileLength);

/// The header's fields, checked, without looking at the file's length: what a file still
/// being written promises to become.
Result<OrxHeader> ParseOrxHeaderFields(const std::uint8_t* bytes, std::size_t size);

/// What is left of a file cut off inside its frames (an aborted acquisition).
struct OrxCutOff {
    std::uint32_t completeFrames = 0;  ///< whole frames before the end
    std::uint32_t headerFrames = 0;    ///< the frames its header counts
};
/// The same checks, but a file that ends inside its frames is taken with its complete
/// frames when there is one; `cutOff` then says how many of how many.
Result<OrxHeader> ParseOrxHeaderSalvaging(const std::uint8_t* bytes, std::size_t size, std::uint64_t fileLength,
                                          std::optional<OrxCutOff>* cutOff);

}  // namespace qf
