#include "dialog/frame_picture.h"

#include <algorithm>
#include <cstring>

#include "export/false_color_table.h"

namespace qf {
namespace {

// The 16-bit intensity of sample `i`: the grayscale kind carries only the high byte.
std::uint16_t Intensity(const FrameImage& frame, ExportKind kind, std::size_t i) {
    if (kind == kGrayscaleBitmap) return static_cast<std::uint16_t>(frame.highBytes[i] << 8);
    return frame.samples[i];
}

QRgb Shade(std::uint16_t value, ExportKind kind, std::uint16_t peak) {
    if (kind == kFalseColorBitmap) {
        const FalseColorEntry& e = FalseColorTable()[value >> 2];
        return qRgb(e.red, e.green, e.blue);
    }
    if (kind == kNormalizedTiff) {
        // As the normalized TIFF stretches it: sample / max x 65535, truncated.
        value = static_cast<std::uint16_t>(peak == 0 ? 0u : std::uint32_t{value} * 65535u / peak);
    }
    const int gray = value >> 8;
    return qRgb(gray, gray, gray);
}

bool HasSamples(const FrameImage& frame, ExportKind kind) {
    if (frame.width <= 0 || frame.height <= 0 || frame.count != frame.width * frame.height) return false;
    return kind == kGrayscaleBitmap ? frame.highBytes != nullptr : frame.samples != nullptr;
}

}  // namespace

FramePicture MakeFramePicture(const FrameImage& frame, ExportKind kind) {
    FramePicture picture;
    picture.kind = kind;
    if (!HasSamples(frame, kind)) return picture;
    const int w = frame.width, h = frame.height;
    // The frame's first row is the bottom row of every output.
    auto at = [&](int x, int y) {
        return Intensity(frame, kind, static_cast<std::size_t>(h - 1 - y) * w + x);
    };
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (at(x, y) > picture.peak) {
                picture.peak = at(x, y);
                picture.brightest = QPoint(x, y);
            }
        }
    }
    const int step = (std::max(w, h) + kMaxPictureSide - 1) / kMaxPictureSide;
    picture.image = QImage((w + step - 1) / step, (h + step - 1) / step, QImage::Format_RGB32);
    for (int y = 0; y < picture.image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.image.scanLine(y));
        for (int x = 0; x < picture.image.width(); ++x) line[x] = Shade(at(x * step, y * step), kind, picture.peak);
    }
    for (int x = 0; x < w; ++x) picture.row.push_back(at(x, picture.brightest.y()));
    for (int y = 0; y < h; ++y) picture.column.push_back(at(picture.brightest.x(), y));
    return picture;
}

void CopyFrame(const FrameImage& from, FrameImage& to) {
    const std::size_t n = from.count > 0 ? static_cast<std::size_t>(from.count) : 0;
    const bool sameSize = to.count == from.count;
    to.width = from.width;
    to.height = from.height;
    to.count = from.count;
    if (from.samples) {
        if (!sameSize || !to.samples) to.samples = std::make_unique<std::uint16_t[]>(n);
        std::memcpy(to.samples.get(), from.samples.get(), n * sizeof(std::uint16_t));
    } else {
        to.samples.reset();
    }
    if (from.highBytes) {
        if (!sameSize || !to.highBytes) to.highBytes = std::make_unique<std::uint8_t[]>(n);
        std::memcpy(to.highBytes.get(), from.highBytes.get(), n);
    } else {
        to.highBytes.reset();
    }
}

}  // namespace qf
