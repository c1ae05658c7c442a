#include "dialog/frame_picture.h"

namespace qf {

FramePicture MakeFramePicture(const FrameImage& frame, ExportKind kind, int inputBits) {
    FramePixels pixels = MakeFramePixels(frame, kind, inputBits);
    present::RunPicture picture;
    picture.row = present::PlotProfile(pixels.row, kind, inputBits);
    picture.column = present::PlotProfile(pixels.column, kind, inputBits);
    picture.pixels = std::make_shared<const FramePixels>(std::move(pixels));
    return MakeFramePicture(picture);
}

FramePicture MakeFramePicture(const present::RunPicture& from) {
    const FramePixels& pixels = *from.pixels;
    FramePicture picture;
    picture.kind = pixels.kind;
    picture.peak = pixels.peak;
    picture.brightest = QPoint(pixels.brightestX, pixels.brightestY);
    picture.row = pixels.row;
    picture.column = pixels.column;
    picture.rowPlot = from.row;
    picture.columnPlot = from.column;
    if (pixels.empty()) return picture;
    picture.image = QImage(pixels.width, pixels.height, QImage::Format_RGB32);
    const std::uint8_t* in = pixels.pixels.data();
    for (int y = 0; y < pixels.height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.image.scanLine(y));
        for (int x = 0; x < pixels.width; ++x, in += pixels.channels) {
            line[x] = pixels.channels == 3 ? qRgb(in[0], in[1], in[2]) : qRgb(in[0], in[0], in[0]);
        }
    }
    picture.frame = from.pixels;
    return picture;
}

}  // namespace qf
