#include "export/grayscale_bitmap.h"

#include <array>
#include <vector>

#include "export/bitmap_layout.h"
#include "platform/output_file.h"

namespace qf {
namespace {

std::array<std::uint8_t, kGrayPaletteSize> GrayPalette() {
    std::array<std::uint8_t, kGrayPaletteSize> palette{};
    for (std::uint32_t i = 0; i < kGrayPaletteEntries; ++i) {
        for (std::uint32_t b = 0; b < 4; ++b) palette[i * 4 + b] = static_cast<std::uint8_t>(i);
    }
    return palette;
}

}  // namespace

Status WriteGrayscaleBitmap(const OutputTarget& target, const FrameImage& frame, const ExportOptions& options) {
    if (Status shape = CheckFrame(frame, frame.highBytes != nullptr); !shape.ok()) return shape;
    const std::uint32_t width = static_cast<std::uint32_t>(frame.width);
    const std::uint32_t pad = (4 - width % 4) % 4;
    const auto headers = BitmapHeadersFor(frame.width, frame.height, 8, kGrayPixelOffset,
                                          width + pad, options);
    static const auto palette = GrayPalette();

    OutputFile out(target);
    out.Write(headers.data(), headers.size());
    out.Write(palette.data(), palette.size());
    const std::uint8_t zeros[4] = {};
    const std::uint8_t* row = frame.highBytes.get();
    for (std::int32_t r = 0; r < frame.height && out.ok(); ++r, row += width) {
        out.Write(row, width);
        out.Write(zeros, pad);
    }
    return out.Commit();
}

}  // namespace qf
