#include "present/frame_zoom.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "export/false_color_table.h"
#include "present/words.h"

namespace qf::present {
namespace {

// A step counts as the scale now when it is this close (fitted scales are rarely steps).
constexpr double kSameScale = 1e-9;

}  // namespace

void FrameZoom::SetFrame(int width, int height) {
    frameWidth_ = std::max(0, width);
    frameHeight_ = std::max(0, height);
}

void FrameZoom::SetView(int width, int height) {
    viewWidth_ = std::max(0, width);
    viewHeight_ = std::max(0, height);
}

double FrameZoom::FitScale() const {
    if (frameWidth_ == 0 || frameHeight_ == 0 || viewWidth_ == 0 || viewHeight_ == 0) return 1.0;
    return std::min(double(viewWidth_) / frameWidth_, double(viewHeight_) / frameHeight_);
}

double FrameZoom::scale() const { return fitting_ ? FitScale() : scale_; }

void FrameZoom::SetScale(double scale) {
    fitting_ = false;
    scale_ = scale;
}

bool FrameZoom::ZoomIn() {
    const double now = scale();
    const double* next = std::find_if(std::begin(kSteps), std::end(kSteps), [now](double s) { return s > now + kSameScale; });
    if (next == std::end(kSteps)) return false;
    SetScale(*next);
    return true;
}

bool FrameZoom::ZoomOut() {
    const double now = scale();
    for (auto step = std::rbegin(kSteps); step != std::rend(kSteps); ++step) {
        if (*step < now - kSameScale) {
            SetScale(*step);
            return true;
        }
    }
    return false;
}

int FrameZoom::shownWidth() const { return static_cast<int>(std::lround(frameWidth_ * scale())); }
int FrameZoom::shownHeight() const { return static_cast<int>(std::lround(frameHeight_ * scale())); }
int FrameZoom::maxScrollX() const { return std::max(0, shownWidth() - viewWidth_); }
int FrameZoom::maxScrollY() const { return std::max(0, shownHeight() - viewHeight_); }

double FrameZoom::OriginX(int scrollX) const {
    if (shownWidth() <= viewWidth_) return std::floor((viewWidth_ - shownWidth()) / 2.0);
    return -double(std::clamp(scrollX, 0, maxScrollX()));
}

double FrameZoom::OriginY(int scrollY) const {
    if (shownHeight() <= viewHeight_) return std::floor((viewHeight_ - shownHeight()) / 2.0);
    return -double(std::clamp(scrollY, 0, maxScrollY()));
}

FramePoint FrameZoom::FrameAt(double x, double y, int scrollX, int scrollY) const {
    const double s = scale();
    return {(x - OriginX(scrollX)) / s, (y - OriginY(scrollY)) / s};
}

std::optional<FramePoint> FrameZoom::PixelAt(double x, double y, int scrollX, int scrollY) const {
    const FramePoint p = FrameAt(x, y, scrollX, scrollY);
    const double px = std::floor(p.x), py = std::floor(p.y);
    if (px < 0 || py < 0 || px >= frameWidth_ || py >= frameHeight_) return std::nullopt;
    return FramePoint{px, py};
}

FramePoint FrameZoom::ScrollKeeping(FramePoint p, double x, double y) const {
    const double s = scale();
    return {std::clamp(std::round(p.x * s - x), 0.0, double(maxScrollX())),
            std::clamp(std::round(p.y * s - y), 0.0, double(maxScrollY()))};
}

std::string PixelReadout(const FramePixels& picture, int x, int y) {
    const std::optional<std::uint16_t> value = picture.ValueAt(x, y);
    if (!value) return {};
    std::string what;
    switch (picture.kind) {
        case kNormalizedTiff: {
            // The frame as pulled, and what the stretched output holds there.
            const std::uint32_t stretched = picture.peak == 0 ? 0u : std::uint32_t{*value} * 65535u / picture.peak;
            what = Words(QT_TRANSLATE_NOOP("qf::present", "%1 (output %2)"),
                         {std::to_string(*value), std::to_string(stretched)});
            break;
        }
        case kStandardizedTiff: what = std::to_string(*value); break;
        case kGrayscaleBitmap: what = std::to_string(*value >> 8); break;  // the bitmap's byte
        case kFalseColorBitmap: {
            const FalseColorEntry& e = FalseColorTable()[*value >> 2];
            what = Words(QT_TRANSLATE_NOOP("qf::present", "RGB %1, %2, %3"),
                         {std::to_string(e.red), std::to_string(e.green), std::to_string(e.blue)});
            break;
        }
    }
    return Words(QT_TRANSLATE_NOOP("qf::present", "x %1, y %2: %3"), {std::to_string(x), std::to_string(y), what});
}

}  // namespace qf::present
