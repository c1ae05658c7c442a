// What the dialog shows of one written frame: the picture as its kind shows it and the
// two intensity profiles through its brightest sample. Made on the run's thread (QImage,
// no widgets), handed to the window by value; the pixels and profiles come from the
// presentation layer that every front end shares.
#pragma once

#include <QImage>
#include <QPoint>
#include <cstdint>
#include <memory>
#include <vector>

#include "export/frame_image.h"
#include "present/frame_pixels.h"
#include "present/profile_plot.h"
#include "present/run_watch.h"

namespace qf {

struct FramePicture {
    /// Top row first, as the outputs show the frame: the colour table for the colour
    /// kind, gray otherwise (the normalized kind stretched as its TIFF is).
    QImage image;
    ExportKind kind = kNormalizedTiff;
    /// The brightest sample, in the frame's coordinates with the top row first (the first
    /// one in reading order).
    QPoint brightest;
    std::uint16_t peak = 0;
    /// Intensities (0 to 65535; the grayscale kind's high byte x 256) of the image row
    /// through the brightest sample, left to right, and of its column, top to bottom.
    std::vector<std::uint16_t> row;
    std::vector<std::uint16_t> column;
    /// `row` and `column` as the profiles plot them, on the run's axis.
    present::ProfilePlot rowPlot;
    present::ProfilePlot columnPlot;
    /// The frame's size and every intensity of it, for the readout of the pixel under the
    /// pointer (its 8-bit picture is `image`; row and column are above). Null for a frame of
    /// no samples.
    std::shared_ptr<const FramePixels> frame;
};

/// The picture of `frame` as pulled for `kind` from `inputBits`-bit intensities; an empty
/// picture for a frame of no samples.
FramePicture MakeFramePicture(const FrameImage& frame, ExportKind kind, int inputBits = 16);
/// The run watch's picture as the window shows it (made on the run's thread: no widgets).
FramePicture MakeFramePicture(const present::RunPicture& picture);

}  // namespace qf
