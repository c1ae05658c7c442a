#include "present/frame_pixels.h"

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

// Writes the shade of `value` at `out` (channels bytes).
void Shade(std::uint16_t value, ExportKind kind, std::uint16_t peak, int inputBits, std::uint8_t* out) {
    if (kind == kFalseColorBitmap) {
        const FalseColorEntry& e = FalseColorTable()[value >> 2];
        out[0] = e.red;
        out[1] = e.green;
        out[2] = e.blue;
        return;
    }
    if (kind == kNormalizedTiff) {
        // As the normalized TIFF stretches it: sample / max x 65535, truncated.
        value = static_cast<std::uint16_t>(peak == 0 ? 0u : std::uint32_t{value} * 65535u / peak);
    } else if (kind == kStandardizedTiff && inputBits < 16) {
        // Its TIFF keeps a 12-bit camera's 0 to 4095, which would show all but black;
        // samples above N bits show white, as the bitmap kinds saturate them.
        value = static_cast<std::uint16_t>(std::min<std::uint32_t>(std::uint32_t{value} << (16 - inputBits), 65535u));
    }
    out[0] = static_cast<std::uint8_t>(value >> 8);
}

bool HasSamples(const FrameImage& frame, ExportKind kind) {
    if (frame.width <= 0 || frame.height <= 0 || frame.count != frame.width * frame.height) return false;
    return kind == kGrayscaleBitmap ? frame.highBytes != nullptr : frame.samples != nullptr;
}

}  // namespace

FramePixels MakeFramePixels(const FrameImage& frame, ExportKind kind, int inputBits) {
    inputBits = std::clamp(inputBits, 8, 16);
    FramePixels picture;
    picture.kind = kind;
    picture.channels = kind == kFalseColorBitmap ? 3 : 1;
    if (!HasSamples(frame, kind)) return picture;
    const int w = frame.width, h = frame.height;
    // The frame's first row is the bottom row of every output.
    auto at = [&](int x, int y) { return Intensity(frame, kind, static_cast<std::size_t>(h - 1 - y) * w + x); };
    picture.frameWidth = w;
    picture.frameHeight = h;
    picture.values.resize(static_cast<std::size_t>(w) * h);
    std::uint16_t* value = picture.values.data();
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x, ++value) {
            *value = at(x, y);
            if (*value > picture.peak) {
                picture.peak = *value;
                picture.brightestX = x;
                picture.brightestY = y;
            }
        }
    }
    const int step = (std::max(w, h) + kMaxPictureSide - 1) / kMaxPictureSide;
    picture.width = (w + step - 1) / step;
    picture.height = (h + step - 1) / step;
    picture.pixels.resize(static_cast<std::size_t>(picture.width) * picture.height * picture.channels);
    std::uint8_t* out = picture.pixels.data();
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x, out += picture.channels) {
            Shade(at(x * step, y * step), kind, picture.peak, inputBits, out);
        }
    }
    for (int x = 0; x < w; ++x) picture.row.push_back(at(x, picture.brightestY));
    for (int y = 0; y < h; ++y) picture.column.push_back(at(picture.brightestX, y));
    return picture;
}

std::optional<std::uint16_t> FramePixels::ValueAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= frameWidth || y >= frameHeight) return std::nullopt;
    const std::size_t i = static_cast<std::size_t>(y) * frameWidth + x;
    if (i >= values.size()) return std::nullopt;
    return values[i];
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
