// How far a run is, counted in pixels rather than frames or files: a 2048 x 2048 frame is
// sixteen 512 x 512 frames of work, so the percent and the time left follow the bytes.
// The one count behind the command line's progress line and the dialogs' bars, rates and
// times left.
#pragma once

#include <cstdint>
#include <optional>

namespace qf {

class RunProgress {
public:
    /// The plan: `frames` frames of `pixels` pixels in all (0 when the sizes are unknown:
    /// frames are then counted alike).
    void Planned(long frames, std::uint64_t pixels);
    /// The next data file's frames hold `pixels` pixels each.
    void FileFrameSize(std::uint64_t pixels) { framePixels_ = pixels; }
    /// A frame of the current data file is done (written or kept).
    void FrameDone();

    long framesDone() const { return framesDone_; }
    long framesPlanned() const { return framesPlanned_; }
    /// Done of the plan, 0 to 1.
    double Fraction() const;
    /// The seconds left at the pace of the `elapsed` seconds so far; none before anything
    /// is done.
    std::optional<double> SecondsLeft(double elapsed) const;
    /// Frames done a second over the `elapsed` seconds so far; none before anything is done.
    std::optional<double> FramesPerSecond(double elapsed) const;

private:
    bool BySize() const { return pixelsPlanned_ > 0; }
    long framesPlanned_ = 0, framesDone_ = 0;
    std::uint64_t pixelsPlanned_ = 0, pixelsDone_ = 0, framePixels_ = 0;
};

}  // namespace qf
