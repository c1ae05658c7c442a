#include "export/false_color_bitmap.h"

#include <cstring>
#include <new>
#include <vector>

#include "export/bitmap_layout.h"
#include "export/false_color_table.h"
#include "platform/output_file.h"

namespace qf {

Status WriteFalseColorBitmap(const OutputTarget& target, const FrameImage& frame, const ExportOptions& options) {
    if (Status shape = CheckFrame(frame, frame.samples != nullptr); !shape.ok()) return shape;
    const std::uint32_t width = static_cast<std::uint32_t>(frame.width);
    // 3W + W mod 4 is always a multiple of four; the pad bytes stay zero.
    const std::uint32_t rowBytes = 3 * width + width % 4;
    const auto headers = BitmapHeadersFor(frame.width, frame.height, 24, kHeadersSize, rowBytes, options);
    const std::uint8_t* colors = FalseColorPixels().data();

    OutputFile out(target);
    out.Write(headers.data(), headers.size());
    std::vector<std::uint8_t> row(rowBytes, 0);
    const std::uint16_t* samples = frame.samples.get();
    for (std::int32_t r = 0; r < frame.height && out.ok(); ++r, samples += width) {
        std::uint8_t* pixel = row.data();
        for (std::uint32_t c = 0; c < width; ++c, pixel += 3) {
            std::memcpy(pixel, colors + std::size_t{3} * (samples[c] >> 2U), 3);
        }
        out.Write(row.data(), rowBytes);
    }
    return out.Commit();
}

}  // namespace qf
