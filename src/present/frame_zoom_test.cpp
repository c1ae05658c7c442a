// The zoom of a frame view and the readout of the pixel under the pointer, worked out by
// hand for frames and views of chosen sizes.
#include "present/frame_zoom.h"

#include <gtest/gtest.h>

#include "export/false_color_table.h"
#include "test/frames.h"

namespace qf::present {
namespace {

FrameZoom Zoom(int frameW, int frameH, int viewW, int viewH) {
    FrameZoom zoom;
    zoom.SetFrame(frameW, frameH);
    zoom.SetView(viewW, viewH);
    return zoom;
}

TEST(FrameZoomTest, FitsTheWholeFrameCentredAndFollowsTheView) {
    FrameZoom zoom = Zoom(400, 100, 200, 200);
    EXPECT_TRUE(zoom.fitting());
    EXPECT_DOUBLE_EQ(zoom.scale(), 0.5);
    EXPECT_EQ(zoom.shownWidth(), 200);
    EXPECT_EQ(zoom.shownHeight(), 50);
    EXPECT_EQ(zoom.OriginX(0), 0);
    EXPECT_EQ(zoom.OriginY(0), 75);  // (200 - 50) / 2
    EXPECT_EQ(zoom.maxScrollX(), 0);
    zoom.SetView(800, 800);  // the window grew
    EXPECT_DOUBLE_EQ(zoom.scale(), 2.0);
}

TEST(FrameZoomTest, ZoomStepsFromAFittedScaleToTheNextStepEitherWay) {
    FrameZoom zoom = Zoom(300, 300, 500, 500);  // fitted at 5/3
    ASSERT_TRUE(zoom.ZoomIn());
    EXPECT_FALSE(zoom.fitting());
    EXPECT_DOUBLE_EQ(zoom.scale(), 2.0);
    zoom.Fit();
    ASSERT_TRUE(zoom.ZoomOut());
    EXPECT_DOUBLE_EQ(zoom.scale(), 1.5);
    zoom.ActualSize();
    ASSERT_TRUE(zoom.ZoomOut());
    EXPECT_DOUBLE_EQ(zoom.scale(), 2.0 / 3);
}

TEST(FrameZoomTest, ZoomStopsAtTheEndsOfTheLadder) {
    FrameZoom zoom = Zoom(10, 10, 100, 100);
    int steps = 0;
    while (zoom.ZoomIn()) ++steps;
    EXPECT_DOUBLE_EQ(zoom.scale(), 32.0);
    EXPECT_GT(steps, 0);
    while (zoom.ZoomOut()) {
    }
    EXPECT_DOUBLE_EQ(zoom.scale(), 1.0 / 16);
    EXPECT_FALSE(zoom.ZoomOut());
    EXPECT_DOUBLE_EQ(zoom.scale(), 1.0 / 16);
}

TEST(FrameZoomTest, PixelUnderThePointCountsTheScrollAndTheCentring) {
    FrameZoom zoom = Zoom(100, 50, 200, 200);
    zoom.ActualSize();
    // 1:1, centred: the frame starts at (50, 75).
    ASSERT_TRUE(zoom.PixelAt(50, 75, 0, 0).has_value());
    EXPECT_EQ(zoom.PixelAt(50, 75, 0, 0)->x, 0);
    EXPECT_EQ(zoom.PixelAt(149.9, 124.9, 0, 0)->x, 99);
    EXPECT_EQ(zoom.PixelAt(149.9, 124.9, 0, 0)->y, 49);
    EXPECT_FALSE(zoom.PixelAt(49.9, 80, 0, 0).has_value());
    EXPECT_FALSE(zoom.PixelAt(150, 80, 0, 0).has_value());
    // 4x: 400 x 200 on screen, scrolled by (120, 30); view point (10, 10) is screen (130, 40).
    ASSERT_TRUE(zoom.ZoomIn() && zoom.ZoomIn() && zoom.ZoomIn() && zoom.ZoomIn());  // 1.5, 2, 3, 4
    ASSERT_DOUBLE_EQ(zoom.scale(), 4.0);
    EXPECT_EQ(zoom.maxScrollX(), 200);
    EXPECT_EQ(zoom.maxScrollY(), 0);  // 200 high fits the view: centred, not scrolled
    const auto p = zoom.PixelAt(10, 10, 120, 30);
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->x, 32);  // 130 / 4
    EXPECT_EQ(p->y, 2);   // 10 / 4: the scroll offset of an axis that fits does not count
}

TEST(FrameZoomTest, ZoomingAboutThePointerKeepsThePixelUnderIt) {
    FrameZoom zoom = Zoom(1000, 1000, 200, 100);
    zoom.ActualSize();
    const int scrollX = 300, scrollY = 400;
    const FramePoint before = zoom.FrameAt(50, 20, scrollX, scrollY);  // (350, 420)
    ASSERT_TRUE(zoom.ZoomIn());  // 1.5
    const FramePoint scroll = zoom.ScrollKeeping(before, 50, 20);
    EXPECT_EQ(scroll.x, 475);  // 350 x 1.5 - 50
    EXPECT_EQ(scroll.y, 610);  // 420 x 1.5 - 20
    const FramePoint after = zoom.FrameAt(50, 20, int(scroll.x), int(scroll.y));
    EXPECT_NEAR(after.x, before.x, 1.0);
    EXPECT_NEAR(after.y, before.y, 1.0);
    // Near the corner the scroll stops at its range.
    EXPECT_EQ(zoom.ScrollKeeping(FramePoint{1, 1}, 100, 50).x, 0);
}

TEST(FrameZoomTest, NoFrameHasNoPixelAndAScaleOfOne) {
    FrameZoom zoom;
    zoom.SetView(100, 100);
    EXPECT_DOUBLE_EQ(zoom.scale(), 1.0);
    EXPECT_FALSE(zoom.PixelAt(50, 50, 0, 0).has_value());
}

// The stored first row is the bottom one: stored [10 20 30] [40 3071 60] is shown with
// 40 3071 60 on top, so (1, 0) is 3071.
TEST(PixelReadoutTest, TiffKindsTellTheIntensityAsPulledAndTheNormalizedOutputValue) {
    const FrameImage frame = test::SampleFrame(3, 2, {10, 20, 30, 40, 3071, 60});
    EXPECT_EQ(PixelReadout(MakeFramePixels(frame, kStandardizedTiff), 1, 0), "x 1, y 0: 3071");
    EXPECT_EQ(PixelReadout(MakeFramePixels(frame, kStandardizedTiff), 0, 1), "x 0, y 1: 10");
    // Normalized: 60 x 65535 / 3071 = 1280 (truncated, as the writer does).
    EXPECT_EQ(PixelReadout(MakeFramePixels(frame, kNormalizedTiff), 2, 0), "x 2, y 0: 60 (output 1280)");
    EXPECT_EQ(PixelReadout(MakeFramePixels(frame, kNormalizedTiff), 1, 0), "x 1, y 0: 3071 (output 65535)");
}

TEST(PixelReadoutTest, BitmapKindsTellTheByteOrTheColourOfThePixel) {
    EXPECT_EQ(PixelReadout(MakeFramePixels(test::GrayFrame(2, 1, {47, 200}), kGrayscaleBitmap), 0, 0), "x 0, y 0: 47");
    const FalseColorEntry& e = FalseColorTable()[40000 >> 2];
    const std::string expected = "x 1, y 0: RGB " + std::to_string(e.red) + ", " + std::to_string(e.green) + ", " +
                                 std::to_string(e.blue);
    EXPECT_EQ(PixelReadout(MakeFramePixels(test::SampleFrame(2, 1, {3, 40000}), kFalseColorBitmap), 1, 0), expected);
}

TEST(PixelReadoutTest, OutsideTheFrameItIsEmpty) {
    const FramePixels p = MakeFramePixels(test::SampleFrame(2, 2, {1, 2, 3, 4}), kStandardizedTiff);
    EXPECT_EQ(PixelReadout(p, 2, 0), "");
    EXPECT_EQ(PixelReadout(p, 0, -1), "");
    EXPECT_EQ(PixelReadout(FramePixels{}, 0, 0), "");
}

TEST(PixelReadoutTest, ALargeFrameSampledDownForThePictureReadsItsOwnSamples) {
    std::vector<std::uint16_t> samples(1025 * 2, 0);
    samples[1025 + 1] = 777;  // top row, x 1: not one of the picture's samples (every 3rd)
    const FramePixels p = MakeFramePixels(test::SampleFrame(1025, 2, samples), kStandardizedTiff);
    ASSERT_EQ(p.width, 342);
    EXPECT_EQ(p.frameWidth, 1025);
    EXPECT_EQ(PixelReadout(p, 1, 0), "x 1, y 0: 777");
    EXPECT_EQ(PixelReadout(p, 1024, 1), "x 1024, y 1: 0");
}

}  // namespace
}  // namespace qf::present
