// The bitmap file layout both bitmap kinds share: a 14-byte file header and a 40-byte
// info header, little-endian, field by field.
#pragma once

#include <array>
#include <cstdint>

#include "export/export_options.h"
#include "export/frame_image.h"

namespace qf {

inline constexpr std::uint32_t kFileHeaderSize = 14;
inline constexpr std::uint32_t kInfoHeaderSize = 40;
inline constexpr std::uint32_t kHeadersSize = kFileHeaderSize + kInfoHeaderSize;  // 54
inline constexpr std::uint32_t kGrayPaletteEntries = 256;
inline constexpr std::uint32_t kGrayPaletteSize = kGrayPaletteEntries * 4;       // 1024
inline constexpr std::uint32_t kGrayPixelOffset = kHeadersSize + kGrayPaletteSize;  // 1078
inline constexpr std::uint16_t kBitmapType = 0x4D42;                              // "BM"

/// The file header. The header is filled with 0xFF before the fields are set, so the
/// reserved words are 0xFFFF.
struct BitmapFileHeader {
    std::uint16_t type = kBitmapType;
    std::uint32_t size = 0;
    std::uint16_t reserved1 = 0xFFFF;
    std::uint16_t reserved2 = 0xFFFF;
    std::uint32_t offBits = 0;
};

/// The info header; zero-filled but for the fields set here.
struct BitmapInfoHeader {
    std::uint32_t size = kInfoHeaderSize;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t clrUsed = 0;
    std::uint32_t clrImportant = 0;
};

/// The 54 header bytes as they stand in the file.
std::array<std::uint8_t, kHeadersSize> SerializeBitmapHeaders(const BitmapFileHeader& file,
                                                              const BitmapInfoHeader& info);

/// Headers for a frame of `width` x `height` at `bitCount` bits, pixels at `offBits`,
/// rows of `rowBytes` bytes. The portable layout zeroes the reserved words (readers that
/// check them refuse 0xFFFF) and, with a known pixel size, fills the pixels per metre;
/// nothing else changes.
std::array<std::uint8_t, kHeadersSize> BitmapHeadersFor(std::int32_t width, std::int32_t height,
                                                        std::uint16_t bitCount,
                                                        std::uint32_t offBits,
                                                        std::uint32_t rowBytes,
                                                        const ExportOptions& options = {});

}  // namespace qf
