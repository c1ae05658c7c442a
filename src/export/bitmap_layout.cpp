#include "export/bitmap_layout.h"

#include <cstddef>

#include "platform/little_endian.h"

namespace qf {
namespace {

class LittleEndianWriter {
public:
    explicit LittleEndianWriter(std::uint8_t* out) : out_(out) {}
    void U16(std::uint16_t v) {
        PutLe16(out_ + pos_, v);
        pos_ += 2;
    }
    void U32(std::uint32_t v) {
        PutLe32(out_ + pos_, v);
        pos_ += 4;
    }
    void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }

private:
    std::uint8_t* out_;
    std::size_t pos_ = 0;
};

// A pixel of `um` micrometres, as whole pixels per metre (at least 1).
std::int32_t PixelsPerMetre(double um) {
    const double perMetre = 1e6 / um + 0.5;
    return perMetre >= 2147483647.0 ? 2147483647 : perMetre < 1.0 ? 1 : static_cast<std::int32_t>(perMetre);
}

}  // namespace

std::array<std::uint8_t, kHeadersSize> SerializeBitmapHeaders(const BitmapFileHeader& file,
                                                              const BitmapInfoHeader& info) {
    std::array<std::uint8_t, kHeadersSize> bytes{};
    LittleEndianWriter out(bytes.data());
    out.U16(file.type);
    out.U32(file.size);
    out.U16(file.reserved1);
    out.U16(file.reserved2);
    out.U32(file.offBits);
    out.U32(info.size);
    out.I32(info.width);
    out.I32(info.height);
    out.U16(info.planes);
    out.U16(info.bitCount);
    out.U32(info.compression);
    out.U32(info.sizeImage);
    out.I32(info.xPelsPerMeter);
    out.I32(info.yPelsPerMeter);
    out.U32(info.clrUsed);
    out.U32(info.clrImportant);
    return bytes;
}

std::array<std::uint8_t, kHeadersSize> BitmapHeadersFor(std::int32_t width, std::int32_t height,
                                                        std::uint16_t bitCount,
                                                        std::uint32_t offBits,
                                                        std::uint32_t rowBytes,
                                                        const ExportOptions& options) {
    BitmapFileHeader file;
    std::uint32_t rows = height > 0 ? static_cast<std::uint32_t>(height) : 0;
    file.size = offBits + rows * rowBytes;
    file.offBits = offBits;
    BitmapInfoHeader info;
    info.width = width;
    info.height = height;
    info.bitCount = bitCount;
    if (options.layout == Layout::kPortable) {
        file.reserved1 = 0;
        file.reserved2 = 0;
        if (options.pixelSize.known()) {
            info.xPelsPerMeter = PixelsPerMetre(options.pixelSize.widthUm);
            info.yPelsPerMeter = PixelsPerMetre(options.pixelSize.heightUm);
        }
    }
    return SerializeBitmapHeaders(file, info);
}

}  // namespace qf
