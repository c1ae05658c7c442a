#include "convert/run_progress.h"

#include <algorithm>

namespace qf {

void RunProgress::Planned(long frames, std::uint64_t pixels) {
    framesPlanned_ += frames;
    pixelsPlanned_ += pixels;
}

void RunProgress::FrameDone() {
    ++framesDone_;
    pixelsDone_ += framePixels_;
}

double RunProgress::Fraction() const {
    const double done = BySize() ? double(pixelsDone_) : double(framesDone_);
    const double planned = BySize() ? double(pixelsPlanned_) : double(framesPlanned_);
    return planned > 0 ? std::clamp(done / planned, 0.0, 1.0) : 0.0;
}

std::optional<double> RunProgress::SecondsLeft(double elapsed) const {
    const double fraction = Fraction();
    if (fraction <= 0 || elapsed <= 0) return std::nullopt;
    return elapsed * (1 - fraction) / fraction;
}

std::optional<double> RunProgress::FramesPerSecond(double elapsed) const {
    if (framesDone_ <= 0 || elapsed <= 0) return std::nullopt;
    return static_cast<double>(framesDone_) / elapsed;
}

}  // namespace qf
