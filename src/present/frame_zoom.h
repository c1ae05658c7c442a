// How a view shows a frame at a zoom, without a toolkit: the scale (screen pixels per frame
// pixel), fitted to the view or one of a ladder of steps, where the frame lies in the view
// for the scroll offsets, the frame pixel under a point, and the words for that pixel. A
// front end only maps its events (wheel, keys, pointer, scroll bars) onto this.
#pragma once

#include <optional>
#include <string>

#include "present/frame_pixels.h"

namespace qf::present {

/// A point in frame pixels, top row first; whole pixels for PixelAt.
struct FramePoint {
    double x = 0;
    double y = 0;
};

class FrameZoom {
public:
    /// The zoom steps, screen pixels per frame pixel, from 1/16 to 32.
    static constexpr double kSteps[] = {1.0 / 16, 1.0 / 12, 1.0 / 8, 1.0 / 6, 1.0 / 4, 1.0 / 3, 1.0 / 2,
                                        2.0 / 3,  1.0,      1.5,     2.0,     3.0,     4.0,     6.0,
                                        8.0,      12.0,     16.0,    24.0,    32.0};

    /// The frame's size in its pixels (0 x 0 before a frame).
    void SetFrame(int width, int height);
    /// The view's size in screen pixels.
    void SetView(int width, int height);

    /// True while the scale follows the view: the whole frame, its aspect kept (the start).
    bool fitting() const { return fitting_; }
    /// Screen pixels per frame pixel.
    double scale() const;
    void Fit() { fitting_ = true; }
    /// One screen pixel per frame pixel.
    void ActualSize() { SetScale(1.0); }
    /// The next step above (below) the scale now, fitted or not; false, and no change, at
    /// the ladder's end.
    bool ZoomIn();
    bool ZoomOut();

    /// The frame's size on screen, in whole screen pixels.
    int shownWidth() const;
    int shownHeight() const;
    /// The largest scroll offsets (0 where the frame is not larger than the view).
    int maxScrollX() const;
    int maxScrollY() const;
    /// Where the frame's top-left corner lies in the view: centred where the frame is
    /// smaller than the view, else moved by the scroll offset.
    double OriginX(int scrollX) const;
    double OriginY(int scrollY) const;

    /// The frame position under view point (x, y), in fractions of a pixel, inside the frame or not.
    FramePoint FrameAt(double x, double y, int scrollX, int scrollY) const;
    /// The frame pixel under view point (x, y); none outside the frame or before one.
    std::optional<FramePoint> PixelAt(double x, double y, int scrollX, int scrollY) const;
    /// The scroll offsets (within their range) that put frame position `p` under view
    /// point (x, y) at the scale now: zooming about the pointer keeps what is under it.
    FramePoint ScrollKeeping(FramePoint p, double x, double y) const;

private:
    void SetScale(double scale);
    double FitScale() const;

    int frameWidth_ = 0, frameHeight_ = 0;
    int viewWidth_ = 0, viewHeight_ = 0;
    bool fitting_ = true;
    double scale_ = 1.0;
};

/// What the pixel at (x, y) of `picture`'s frame holds, for a status line:
/// "x 312, y 40: 3071" (the intensity as pulled, for the TIFF kinds; the normalized kind
/// adds the value its output holds: "(output 48813)"), "x 3, y 4: 47" (the grayscale
/// bitmap's byte), "x 3, y 4: RGB 12, 40, 200" (the colour bitmap's pixel). Empty outside
/// the frame.
std::string PixelReadout(const FramePixels& picture, int x, int y);

}  // namespace qf::present
